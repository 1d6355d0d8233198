#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in the build's own Wine prefix.
# usage: wine-run.sh PREFIX PROGRAM [ARGS...]
#
# Wine now and then fails to start a program at all: it ends within milliseconds with a non-zero
# status, having written nothing (or only its own "wine client error"). No program of this build
# ends that way by itself, so such a run is made once more, and the second run's result stands.
# The program's output is passed on when it ends, standard output first.
set -euo pipefail
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2; do
  status=0
  wine "$@" >"$out" 2>"$err" || status=$?
  if [ "$status" -eq 0 ] || [ "$attempt" -eq 2 ] || [ -s "$out" ] ||
     { [ -s "$err" ] && ! grep -q '^wine client error' "$err"; }; then
    break
  fi
  echo "wine-run.sh: Wine did not start $1 (status $status$([ -s "$err" ] && printf ': %s' "$(head -c 200 "$err")")); once more" >&2
done
cat "$out"
cat "$err" >&2
exit "$status"
