#!/usr/bin/env bash
# Builds the optimised benchmarks and prints their figures.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target handler_bench
build/release/bin/handler_bench --benchmark_min_time=0.2 "$@"
