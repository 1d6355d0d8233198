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
source scripts/windows-env.sh
scripts/install-deps.sh "${windows_packages[@]}"
start_windows_env
leg windows-release

# The same plays on the Linux stand-in server and, under Wine, on the deployable DLL loaded by
# the framework stand-in: the audit lines, the embeds and what the game ran must be the same.
start=$SECONDS
echo "== differential: Linux and Windows stand-in servers"
QUILLMARK_WINDOWS_SIM="$PWD/build/windows-release/bin/quillmark-sim.exe" \
  build/default/bin/differential_tests
times+=("differential $((SECONDS - start)) s")

echo "== Times: ${times[*]}"
