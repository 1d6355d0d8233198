#!/usr/bin/env bash
# The journal tools over a million records (or the count given): writes the journal once, then
# times journal search, journal verify and journal report of the optimised build, and search
# --decision blocked --format jsonl beside Debian's jq on the same files, each run three times
# on one core (taskset), and prints the best of each with its budget.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-1000000}
scripts/install-deps.sh jq >/dev/null
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

# The best of three runs, in seconds, of the command given; its output goes to /dev/null.
best() {
  local best_time=
  for _ in 1 2 3; do
    local start end
    start=$(date +%s.%N)
    taskset -c 0 "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    best_time=$(python3 -c "import sys; a=float(sys.argv[1]); b=sys.argv[2]; print(a if b=='' or a<float(b) else b)" \
      "$(python3 -c "print($end - $start)")" "$best_time")
  done
  printf '%.2f' "$best_time"
}

search=$(best "$tool" journal search "$work" --decision blocked --format jsonl)
jq_time=$(best sh -c "cat $work/*/*.jsonl | jq -c 'select(.decision==\"blocked\")'")
all=$(best "$tool" journal search "$work" --format jsonl)
text=$(best "$tool" journal search "$work" --player "player 1" --format text)
verify=$(best "$tool" journal verify "$work")
report=$(best "$tool" journal report "$work")
blocked=$("$tool" journal search "$work" --decision blocked --format jsonl | wc -l)
same=$(cmp -s <("$tool" journal search "$work" --decision blocked --format jsonl) \
  <(cat "$work"/Map0/*.jsonl "$work"/Map1/*.jsonl | jq -c 'select(.decision=="blocked")' | sort) \
  && echo same || echo "(order differs: merged by time)")
printf '%-52s %8s  %s\n' "case" "seconds" "budget"
printf '%-52s %8s  %s\n' "journal verify" "$verify" "3 s"
printf '%-52s %8s  %s\n' "journal search --decision blocked --format jsonl" "$search" "3 s, and no slower than jq"
printf '%-52s %8s  %s\n' "jq -c 'select(.decision==\"blocked\")'" "$jq_time" ""
printf '%-52s %8s  %s\n' "journal search --format jsonl (every record)" "$all" "3 s"
printf '%-52s %8s  %s\n' "journal search --player 'player 1' (text)" "$text" "3 s"
printf '%-52s %8s  %s\n' "journal report" "$report" ""
echo "blocked records found: $blocked"
