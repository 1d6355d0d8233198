#!/usr/bin/env bash
# Times a console command through the plugin library as the server loads it, on both builds:
# the Linux library on the simulated host (release preset), and the DLL to deploy loaded by the
# framework stand-in under Wine (windows-release preset, which needs MSVC_STL_DIR and ASAAPI_DIR
# or the pinned copies beside the project). Prints the two tables of docs/performance.md. An
# argument sets the number of commands per case.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-100000}
scripts/install-deps.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target library_bench quillmark >/dev/null
echo "Linux, the plugin library on the simulated host:"
build/release/bin/library_bench --plugin build/release/bin/quillmark.so --commands "$count"
echo
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release -j "$(nproc)" --target library_bench quillmark AsaApi >/dev/null
prefix="$PWD/build/windows-release/wineprefix"
mkdir -p "$prefix"
echo "Windows under Wine, the DLL to deploy loaded by the framework stand-in:"
cmake/wine-run.sh "$prefix" build/windows-release/bin/library_bench.exe \
  --plugin "Z:$PWD/build/windows-release/bin/quillmark.dll" --commands "$count"
