#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build with AddressSanitizer and
# UndefinedBehaviorSanitizer, the same with ThreadSanitizer (where the request service, its
# callbacks and the logger meet), the fuzz targets for a bounded time each (clang's libFuzzer),
# then the Windows build with the Microsoft C++ ABI — the plugin DLL to deploy, the framework
# stand-in made from the framework's own headers, the stand-in server and the tests — under Wine,
# and the comparison of the Linux and Windows stand-in servers.
set -euo pipefail
cd "$(dirname "$0")/.."

# chromium opens the journal report's page, headless, in one test of the default leg.
scripts/install-deps.sh clang-14 libclang-rt-14-dev chromium

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

# The Windows leg needs Microsoft's STL at the framework's version and the framework's headers:
# MSVC_STL_DIR and ASAAPI_DIR, or the pinned copies beside the project.
stl=${MSVC_STL_DIR:-../shared/third_party/msvc-stl}
framework=${ASAAPI_DIR:-../shared/third_party/asaapi}
if [ ! -f "$stl/stl/inc/yvals_core.h" ] || [ ! -f "$framework/AsaApi/Core/Private/Ark/Globals.h" ]; then
  echo "== windows-release: skipped: Microsoft's STL ($stl) or the framework's headers" \
       "($framework) are missing; set MSVC_STL_DIR and ASAAPI_DIR (see the README)"
  echo "== Times: ${times[*]}"
  exit 0
fi
MSVC_STL_DIR=$(realpath "$stl") ASAAPI_DIR=$(realpath "$framework"); export MSVC_STL_DIR ASAAPI_DIR
scripts/install-deps.sh clang-19 clang-tools-19 lld-19 llvm-19 mingw-w64-x86-64-dev wine64 wine

# One wine server for the whole leg (a server per test process is slow and flaky), and the
# Linux-built Discord stand-in, which the Windows tests that post drive through its control
# requests.
export WINEPREFIX="$PWD/build/windows-release/wineprefix"
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
leg windows-release

# The same plays on the Linux stand-in server and, under Wine, on the deployable DLL loaded by
# the framework stand-in: the audit lines, the embeds and what the game ran must be the same.
start=$SECONDS
echo "== differential: Linux and Windows stand-in servers"
QUILLMARK_WINDOWS_SIM="$PWD/build/windows-release/bin/quillmark-sim.exe" \
  build/default/bin/differential_tests
times+=("differential $((SECONDS - start)) s")

echo "== Times: ${times[*]}"
