#!/usr/bin/env bash
# Builds the optimised benchmarks, runs each case five times, and prints the
# table of docs/performance.md: per case the median over the runs of the median command, the
# 99th percentile and the slowest command, the engine allocator's calls per command, and the
# budget. Extra arguments go to the benchmark program (--benchmark_filter=..., for example).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target handler_bench >/dev/null
results=$(mktemp)
trap 'rm -f "$results"' EXIT
build/release/bin/handler_bench --benchmark_min_time=0.3 --benchmark_repetitions=5 \
  --benchmark_format=json "$@" >"$results"
python3 bench/table.py "$results"
