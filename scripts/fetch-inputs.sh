#!/usr/bin/env bash
# Finds the two inputs of the windows-release build and prints them, one a line:
#   MSVC_STL_DIR=<folder>
#   ASAAPI_DIR=<folder>
# Each is the environment variable when it is set; else the pinned copy beside the project
# (../shared/third_party/msvc-stl, ../shared/third_party/asaapi); else a checkout at the pinned
# commit in the cache folder, fetched once (a shallow git clone) and checked: Microsoft's STL at
# tag vs-2022-17.9 and the framework, AsaApi, at its commit. A remote whose tag or commit is not
# the pinned one is refused, and nothing of it is kept.
#
# What the tests change (never needed for a release):
#   QUILLMARK_STL_URL, QUILLMARK_ASAAPI_URL        the remotes (default: GitHub)
#   QUILLMARK_STL_COMMIT, QUILLMARK_ASAAPI_COMMIT  the pinned commits
#   QUILLMARK_THIRD_PARTY_DIR                      the folder of the copies beside the project
#   QUILLMARK_CACHE_DIR                            the cache (default ~/.cache/quillmark)
set -euo pipefail
shopt -s inherit_errexit
root=$(cd "$(dirname "$0")/.." && pwd)

stl_url=${QUILLMARK_STL_URL:-https://github.com/microsoft/STL}
stl_tag=vs-2022-17.9
stl_commit=${QUILLMARK_STL_COMMIT:-900eeacbd713792e2b9d64ed198c068dc7eedd2a}
asaapi_url=${QUILLMARK_ASAAPI_URL:-https://github.com/ArkServerApi/AsaApi}
asaapi_commit=${QUILLMARK_ASAAPI_COMMIT:-86bd3b21d1e940fe837af6511f945944977bb9ca}
beside=${QUILLMARK_THIRD_PARTY_DIR:-$root/../shared/third_party}
cache=${QUILLMARK_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmark}

say() { echo "fetch-inputs.sh: $*" >&2; }

# fetch NAME URL REF COMMIT MARKER: a folder holding MARKER, at COMMIT, in the cache: the one there,
# else a shallow clone of REF (a tag, or the commit itself) of URL, kept only when it is COMMIT.
fetch() {
  local name=$1 url=$2 ref=$3 commit=$4 marker=$5
  local dir="$cache/$name-$commit"
  if [ -f "$dir/$marker" ] && [ "$(git -C "$dir" rev-parse HEAD 2>/dev/null)" = "$commit" ]; then
    echo "$dir"
    return
  fi
  mkdir -p "$cache"
  local work what="commit $ref"
  [[ $ref == refs/tags/* ]] && what="tag ${ref#refs/tags/}"
  work=$(mktemp -d "$cache/.$name.XXXXXX")
  say "fetching $url at $what into $dir"
  git -C "$work" init -q
  if ! git -C "$work" fetch -q --depth 1 "$url" "$ref" >&2; then
    rm -rf "$work"
    say "refused: $url has no $what (the pinned commit is $commit)"
    return 1
  fi
  local got
  got=$(git -C "$work" rev-parse 'FETCH_HEAD^{commit}')
  if [ "$got" != "$commit" ]; then
    rm -rf "$work"
    say "refused: $url at $what is commit $got, not the pinned commit $commit"
    return 1
  fi
  git -C "$work" -c advice.detachedHead=false checkout -q "$got"
  if [ ! -f "$work/$marker" ]; then
    rm -rf "$work"
    say "refused: $url at commit $commit has no $marker"
    return 1
  fi
  rm -rf "$dir"
  mv "$work" "$dir"
  echo "$dir"
}

# input VARIABLE GIVEN BESIDE MARKER FETCH...: the folder for VARIABLE.
input() {
  local variable=$1 given=$2 copy=$3 marker=$4
  shift 4
  local dir
  if [ -n "$given" ]; then
    dir=$given
  elif [ -f "$copy/$marker" ]; then
    dir=$copy
  else
    dir=$(fetch "$@" "$marker")
  fi
  if [ ! -f "$dir/$marker" ]; then
    say "$variable ($dir) has no $marker"
    return 1
  fi
  echo "$variable=$(realpath "$dir")"
}

input MSVC_STL_DIR "${MSVC_STL_DIR:-}" "$beside/msvc-stl" stl/inc/yvals_core.h \
  msvc-stl "$stl_url" "refs/tags/$stl_tag" "$stl_commit"
input ASAAPI_DIR "${ASAAPI_DIR:-}" "$beside/asaapi" AsaApi/Core/Private/Ark/Globals.h \
  asaapi "$asaapi_url" "$asaapi_commit" "$asaapi_commit"
