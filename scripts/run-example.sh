#!/usr/bin/env bash
# The main job: builds the project and shows what exists so far.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
build/release/bin/host_tests --gtest_brief=1
