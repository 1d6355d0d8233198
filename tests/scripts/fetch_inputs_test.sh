#!/usr/bin/env bash
# The release's fetch step (scripts/fetch-inputs.sh) against two local git repositories standing
# in for the remotes: the pinned tag and commit are fetched into the cache and served from it
# after; a remote at another commit is refused with one line, and nothing of it is kept; a folder
# given, or the copy beside the project, is taken as it is.
#   fetch_inputs_test.sh <fetch-inputs.sh>
set -euo pipefail
fetch=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# commit DIR FILE: a commit holding FILE in the repository DIR; prints its id.
commit() {
  mkdir -p "$1/$(dirname "$2")"
  echo "$RANDOM" >>"$1/$2"
  git -C "$1" add -A
  git -C "$1" -c user.name=t -c user.email=t@example.com commit -qm "$2"
  git -C "$1" rev-parse HEAD
}
git init -q "$work/STL"
stl=$(commit "$work/STL" stl/inc/yvals_core.h)
git -C "$work/STL" -c user.name=t -c user.email=t@example.com tag -a -m 17.9 vs-2022-17.9
commit "$work/STL" stl/inc/later.h >/dev/null
git init -q "$work/AsaApi"
asaapi=$(commit "$work/AsaApi" AsaApi/Core/Private/Ark/Globals.h)
later=$(commit "$work/AsaApi" AsaApi/Core/Private/Ark/Globals.h)  # the pinned one is not the tip

# run CACHE [VARIABLE=VALUE...]: the fetch step with nothing given or beside; its standard output
# in $work/out, standard error in $work/err; returns its status.
run() {
  local cache=$1
  shift
  env -u MSVC_STL_DIR -u ASAAPI_DIR QUILLMARK_THIRD_PARTY_DIR="$work/nothing-beside" \
    QUILLMARK_CACHE_DIR="$work/$cache" QUILLMARK_STL_URL="file://$work/STL" \
    QUILLMARK_ASAAPI_URL="file://$work/AsaApi" QUILLMARK_STL_COMMIT="$stl" \
    QUILLMARK_ASAAPI_COMMIT="$asaapi" "$@" bash "$fetch" >"$work/out" 2>"$work/err"
}

expected="MSVC_STL_DIR=$work/cache/msvc-stl-$stl
ASAAPI_DIR=$work/cache/asaapi-$asaapi"
run cache || fail "the pinned commits were not fetched: $(cat "$work/err")"
[ "$(cat "$work/out")" = "$expected" ] || fail "printed $(cat "$work/out")"
for pair in "msvc-stl-$stl $stl" "asaapi-$asaapi $asaapi"; do
  set -- $pair
  [ "$(git -C "$work/cache/$1" rev-parse HEAD 2>&1)" = "$2" ] || fail "$1 is not at $2"
  [ "$(git -C "$work/cache/$1" rev-list --count HEAD 2>&1)" = 1 ] || fail "$1 is not shallow"
done

# Served from the cache, the remotes gone.
mv "$work/STL" "$work/STL.away" && mv "$work/AsaApi" "$work/AsaApi.away"
run cache && [ "$(cat "$work/out")" = "$expected" ] || fail "the cache was not used: $(cat "$work/err")"
grep -q fetching "$work/err" && fail "fetched again although cached"
mv "$work/STL.away" "$work/STL" && mv "$work/AsaApi.away" "$work/AsaApi"

# refused CACHE LINE [VARIABLE=VALUE...]: the fetch step fails with LINE and keeps nothing.
refused() {
  local cache=$1 line=$2
  shift 2
  if run "$cache" "$@"; then fail "$cache: not refused: $(cat "$work/out")"; fi
  grep -qxF "fetch-inputs.sh: $line" "$work/err" || fail "$cache: said $(cat "$work/err")"
  local kept
  kept=$(find "$work/$cache" -mindepth 1 -maxdepth 1 ! -name 'msvc-stl-*' 2>/dev/null)
  [ -z "$kept" ] || fail "$cache: kept $kept"
}
# The STL's tag at another commit than the pinned one.
refused wrong-tag "refused: file://$work/STL at tag vs-2022-17.9 is commit $stl, not the pinned commit $later" \
  QUILLMARK_STL_COMMIT="$later"
[ -e "$work/wrong-tag/msvc-stl-$later" ] && fail "kept the refused STL"
# The framework's remote without the pinned commit.
missing=0123456789abcdef0123456789abcdef01234567
refused wrong-commit "refused: file://$work/AsaApi has no commit $missing (the pinned commit is $missing)" \
  QUILLMARK_ASAAPI_COMMIT="$missing"

# A folder given, or the copy beside the project, is taken without fetching.
mkdir -p "$work/beside/asaapi/AsaApi/Core/Private/Ark" "$work/given/stl/inc"
touch "$work/beside/asaapi/AsaApi/Core/Private/Ark/Globals.h" "$work/given/stl/inc/yvals_core.h"
run local MSVC_STL_DIR="$work/given" QUILLMARK_THIRD_PARTY_DIR="$work/beside" \
  QUILLMARK_STL_URL=/nowhere QUILLMARK_ASAAPI_URL=/nowhere || fail "local: $(cat "$work/err")"
[ "$(cat "$work/out")" = "MSVC_STL_DIR=$work/given
ASAAPI_DIR=$work/beside/asaapi" ] || fail "local: printed $(cat "$work/out")"
[ ! -e "$work/local" ] || fail "local: fetched"

[ "$failures" -eq 0 ] && echo "fetch-inputs.sh: every case holds"
exit "$failures"
