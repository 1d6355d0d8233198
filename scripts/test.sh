#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build with AddressSanitizer and
# UndefinedBehaviorSanitizer, the same with ThreadSanitizer (where the request service, its
# callbacks and the logger meet), the fuzz targets for a bounded time each (clang's libFuzzer),
# then the Windows build (MinGW-w64) with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine64 wine clang-14 libclang-rt-14-dev

times=()
# Configures, builds and tests one preset, noting how long it took.
leg() {
  local start=$SECONDS
  echo "== $1: build and tests"
  cmake --preset "$1"
  cmake --build --preset "$1" -j "$(nproc)"
  ctest --preset "$1"
  times+=("$1 $((SECONDS - start)) s")
}

leg default
leg tsan
leg fuzz

# The Windows leg: one wine server for the whole run (a server per test process is slow and
# flaky), and the Linux-built Discord stand-in, which the tests that post drive through its
# control requests.
export WINEPREFIX="$PWD/build/windows-cross/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true; kill "${standin:-}" 2>/dev/null || true' EXIT
wine wineboot >/dev/null 2>&1
port_file=$(mktemp)
build/default/bin/discord-standin --port 0 --port-file "$port_file" --control --lifetime 1800 \
  >/dev/null &
standin=$!
for _ in $(seq 100); do [ -s "$port_file" ] && break; sleep 0.1; done
QUILLMARK_STANDIN_PORT=$(cat "$port_file")
export QUILLMARK_STANDIN_PORT
rm -f "$port_file"
leg windows-cross

echo "== Times: ${times[*]}"
