#!/usr/bin/env bash
# The journal tools over a million records (or the count given): writes the journal once, then
# times journal verify, journal search and journal report of the optimised build, and search
# --decision blocked --format jsonl beside Debian's jq on the same files, each run three times
# on one core (taskset), and prints the best of each with its budget, and whether search and jq
# found the same records.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-1000000}
scripts/install-deps.sh jq time >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target quillmark-tool >/dev/null
tool=build/release/bin/quillmark
work=build/release/journal-bench-$count
if [ ! -f "$work/.written" ]; then
  rm -rf "$work"
  python3 bench/journal_records.py "$work" "$count" 2
  touch "$work/.written"
fi
size=$(du -sh --exclude=.written "$work" | cut -f1)
echo "journal: $count records of 2 servers, $size"

# The best of three runs of the command given, its output to /dev/null: "<cpu> <wall>" in
# seconds, the processor time (user and system) and the time on the clock. On a machine that
# others share, the clock counts their work too; the processor time is the program's own.
best() {
  local runs=() timing
  timing=$(mktemp)
  for _ in 1 2 3; do
    /usr/bin/time -o "$timing" -f '%U %S %e' taskset -c 0 "$@" >/dev/null 2>&1 || true
    runs+=("$(tail -1 "$timing")")
  done
  rm -f "$timing"
  printf '%s\n' "${runs[@]}" | awk '{ cpu = $1 + $2; if (NR == 1 || cpu < best) { best = cpu; wall = $3 } }
    END { printf "%.2f %.2f", best, wall }'
}

files=("$work"/*/*.jsonl)
verify=$(best "$tool" journal verify "$work")
search=$(best "$tool" journal search "$work" --decision blocked --format jsonl)
jq_time=$(best jq -c 'select(.decision=="blocked")' "${files[@]}")
all=$(best "$tool" journal search "$work" --format jsonl)
player=$(best "$tool" journal search "$work" --player "player 1" --format text)
report=$(best "$tool" journal report "$work")
# The same records, by server and seq (jq writes numbers its own way, so not byte for byte).
ours=$("$tool" journal search "$work" --decision blocked --format jsonl | jq -c '[.server,.seq]' |
  sort | sha256sum)
theirs=$(jq -c 'select(.decision=="blocked") | [.server,.seq]' "${files[@]}" | sort | sha256sum)
row() { printf '%-50s %7s %7s  %s\n' "$1" "${2% *}" "${2#* }" "$3"; }
row "case" "cpu_s wall_s" "budget (processor time, one core)"
row "journal verify" "$verify" "3 s"
row "journal search --decision blocked --format jsonl" "$search" "3 s, and no more than jq's"
row "jq -c 'select(.decision==\"blocked\")'" "$jq_time" ""
row "journal search --format jsonl (every record)" "$all" "3 s"
row "journal search --player 'player 1'" "$player" "3 s"
row "journal report" "$report" ""
[ "$ours" = "$theirs" ] && echo "search and jq found the same blocked records" ||
  echo "search and jq found different blocked records"
