#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build with AddressSanitizer and
# UndefinedBehaviorSanitizer, the same with ThreadSanitizer (where the request service, its
# callbacks and the logger meet), then the Windows build (MinGW-w64) with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine64 wine

echo "== Linux: build and tests"
start=$SECONDS
cmake --preset default
cmake --build --preset default -j "$(nproc)"
ctest --preset default
linux_seconds=$((SECONDS - start))

echo "== Linux: ThreadSanitizer build and tests"
start=$SECONDS
cmake --preset tsan
cmake --build --preset tsan -j "$(nproc)"
ctest --preset tsan
tsan_seconds=$((SECONDS - start))

echo "== Windows: cross-build and tests under Wine"
start=$SECONDS
cmake --preset windows-cross
cmake --build --preset windows-cross -j "$(nproc)"
export WINEPREFIX="$PWD/build/windows-cross/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# One wine server for the whole run; a server per test process is slow and flaky.
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true; kill "${standin:-}" 2>/dev/null || true' EXIT
wine wineboot >/dev/null 2>&1
# The tests that post reach the Linux-built Discord stand-in, driven through its control requests.
port_file=$(mktemp)
build/default/bin/discord-standin --port 0 --port-file "$port_file" --control --lifetime 1800 \
  >/dev/null &
standin=$!
for _ in $(seq 100); do [ -s "$port_file" ] && break; sleep 0.1; done
QUILLMARK_STANDIN_PORT=$(cat "$port_file")
export QUILLMARK_STANDIN_PORT
rm -f "$port_file"
ctest --preset windows-cross
windows_seconds=$((SECONDS - start))

echo "== Times: Linux ${linux_seconds} s, ThreadSanitizer ${tsan_seconds} s, Windows ${windows_seconds} s"
