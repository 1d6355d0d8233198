#!/usr/bin/env bash
# Builds the optimised benchmarks, runs each case five times, and prints the
# table of docs/performance.md: per case the median over the runs of the median command, how far
# the runs lie apart, the 99th percentile and the slowest command, the engine allocator's calls
# per command, and the budget. The runs of all cases are interleaved in a random order, so that
# a busy spell of a shared machine falls on a floor and on the cases compared with it alike.
# Extra arguments go to the benchmark program (--benchmark_filter=..., for example).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target handler_bench >/dev/null
results=$(mktemp)
trap 'rm -f "$results"' EXIT
build/release/bin/handler_bench --benchmark_min_time=0.3 --benchmark_repetitions=5 \
  --benchmark_enable_random_interleaving=true --benchmark_format=json "$@" >"$results"
python3 bench/table.py "$results"
