#!/usr/bin/env bash
# The main job: builds the plugin, the stand-in server and the Discord stand-in, then plays
# examples/play.txt on the example server folder with -serverkey=Demo, and shows the server's
# log lines, what the game received, and each embed Discord would show.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target quillmark quillmark-sim discord-standin

bin=build/release/bin
posts=$(mktemp)
trap 'kill "$standin" 2>/dev/null || true; rm -f "$posts"' EXIT

# The example configuration posts to http://127.0.0.1:8787, where the Discord stand-in listens
# with Discord's own limits; the plugin paces and batches its posts to stay within them.
"$bin/discord-standin" --port 8787 --lifetime 120 >"$posts" 2>&1 &
standin=$!
for _ in $(seq 50); do grep -q listening "$posts" && break; sleep 0.1; done
grep -q listening "$posts" || { cat "$posts"; echo "the Discord stand-in did not start" >&2; exit 1; }

echo "== The server: log lines and what the game received"
"$bin/quillmark-sim" --server-dir examples/server --script examples/play.txt -serverkey=Demo
echo
echo "== What the Discord channel shows"
kill "$standin"
wait "$standin" 2>/dev/null || true
grep -v '^discord-standin: listening' "$posts"
