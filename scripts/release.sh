#!/usr/bin/env bash
# Makes the release that operators download, from a clean clone on Debian 12:
#   dist/quillmark-<version>.zip   the plugin's folder as it goes into a server
#                                  (ArkApi/Plugins/quillmark/: the DLL, the operator's program
#                                  quillmark.exe, PluginInfo.json, the example configuration
#                                  and BUILD.txt)
#   dist/SHA256SUMS                its checksum, as sha256sum writes it
#
#   scripts/release.sh [--version X.Y.Z]
#
# The version is the project's, project(quillmark VERSION X.Y.Z) in CMakeLists.txt, which
# PluginInfo.json (as the number X.Y), BUILD.txt and the ZIP's name take; --version only checks
# that it is the one being released (a tag vX.Y.Z must name the version the sources say).
#
# It installs the packages the test command installs for the Windows leg, finds Microsoft's STL
# and the framework's headers (scripts/fetch-inputs.sh: MSVC_STL_DIR and ASAAPI_DIR, else the
# copies beside the project, else fetched at the pinned commits into a cache), builds the
# windows-release preset, runs its tests under Wine (the DLL's imports check among them), packs
# the ZIP with Debian's zip and checks it: its files, its version, its own DLL's imports and its
# program's (the system's and the C++ runtime's only).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/release.sh [--version X.Y.Z]"; }
version=$(sed -n 's/^project(quillmark VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
asked=
while [ $# -gt 0 ]; do
  case $1 in
    --version) asked=${2:-}; shift $(($# > 1 ? 2 : 1)) ;;
    --version=*) asked=${1#--version=}; shift ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
if [ -n "$asked" ] && [ "$asked" != "$version" ]; then
  echo "release.sh: --version $asked is not the project's version $version (project(quillmark" \
       "VERSION ...) in CMakeLists.txt): change it there, commit, and release that" >&2
  exit 2
fi
echo "== release quillmark $version"

source scripts/windows-env.sh
scripts/install-deps.sh "${windows_packages[@]}" zip unzip
inputs=$(scripts/fetch-inputs.sh)
while IFS='=' read -r name value; do export "$name=$value"; done <<<"$inputs"
echo "$inputs"

jobs=$(nproc)
# The Windows tests that post reach the Linux-built Discord stand-in.
cmake --preset default >/dev/null
cmake --build --preset default --target discord-standin -j "$jobs"
# The inputs and the framework's commit named on the command line, so that a build folder
# configured before with other ones takes these.
cmake --preset windows-release -DMSVC_STL_DIR="$MSVC_STL_DIR" -DASAAPI_DIR="$ASAAPI_DIR" \
  -DQUILLMARK_FRAMEWORK_COMMIT=
cmake --build --preset windows-release -j "$jobs"
start_windows_env
ctest --preset windows-release

# The ZIP, from what the build installs, its files dated by the last commit (or now) and listed
# in order, so that the same sources give the same ZIP.
build=build/windows-release
stage=$build/release
folder=ArkApi/Plugins/quillmark
rm -rf "$stage" && mkdir -p "$stage" dist
cmake --install "$build" --prefix "$PWD/$stage/root" >/dev/null
epoch=$(git log -1 --format=%ct 2>/dev/null || date +%s)
find "$stage/root" -exec touch -h -d "@$epoch" {} +
zip_file=dist/quillmark-$version.zip
rm -f "$zip_file"
(cd "$stage/root" && find ArkApi | LC_ALL=C sort | TZ=UTC zip -X -q -@ "$OLDPWD/$zip_file")

# The ZIP as an operator gets it: exactly the plugin's folder, this version, a DLL that imports
# what a Visual Studio build imports, and a program that runs without the framework.
fail() { echo "release.sh: $zip_file: $*" >&2; exit 1; }
unzip -q "$zip_file" -d "$stage/unpacked"
listed=$(cd "$stage/unpacked" && find . -type f | LC_ALL=C sort | tr '\n' ' ')
[ "$listed" = "./$folder/BUILD.txt ./$folder/PluginInfo.json ./$folder/config.example.jsonc ./$folder/quillmark.dll ./$folder/quillmark.exe " ] ||
  fail "holds $listed"
plugin_version=$(sed -n 's/^ *"Version": *\([0-9.]*\),*$/\1/p' "$stage/unpacked/$folder/PluginInfo.json")
[ "$plugin_version" = "${version%.*}" ] || fail "PluginInfo.json says version $plugin_version"
head -n 1 "$stage/unpacked/$folder/BUILD.txt" | grep -q "^quillmark $version " ||
  fail "BUILD.txt says $(head -n 1 "$stage/unpacked/$folder/BUILD.txt")"
cmake -DREADOBJ=llvm-readobj-19 -DUNDNAME=llvm-undname-19 \
  -DDLL="$stage/unpacked/$folder/quillmark.dll" -DFRAMEWORK_DLL="$build/bin/AsaApi.dll" \
  -DIMPORT_LIST=packaging/framework-imports.txt -P cmake/CheckImports.cmake
cmake -DREADOBJ=llvm-readobj-19 -DPROGRAM="$stage/unpacked/$folder/quillmark.exe" \
  -P cmake/CheckToolImports.cmake

(cd dist && sha256sum "quillmark-$version.zip" >SHA256SUMS)
echo "== $zip_file ($(stat -c %s "$zip_file") bytes), dist/SHA256SUMS:"
cat dist/SHA256SUMS
