#!/usr/bin/env bash
# Floods the stand-in server (optimised build) with a million console commands for each state of
# the webhook, and prints the figures of docs/reliability.md. An argument sets the number of
# commands.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target quillmark quillmark-sim discord-standin >/dev/null
python3 bench/flood.py build/release/bin "$@"
