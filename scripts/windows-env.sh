# shellcheck shell=bash
# Sourced by the scripts that run the windows-release build's tests (test.sh, release.sh), from
# the project's folder, after the default preset has built discord-standin:
#   source scripts/windows-env.sh && start_windows_env
#
# One wine server for the whole run (a server per test process is slow and flaky), in a prefix
# inside the build folder, and the Linux-built Discord stand-in, which the Windows tests that post
# drive through its control requests (QUILLMARK_STANDIN_PORT). Both are stopped when the calling
# script exits.

# The packages the windows-release build and its tests need beyond the Linux build's.
# shellcheck disable=SC2034 # used by the scripts that source this one
windows_packages=(clang-19 clang-tools-19 lld-19 llvm-19 mingw-w64-x86-64-dev wine64 wine)

stop_windows_env() {
  wineserver -k 2>/dev/null || true
  if [ -n "${windows_standin:-}" ]; then kill "$windows_standin" 2>/dev/null || true; fi
}

start_windows_env() {
  export WINEPREFIX="$PWD/build/windows-release/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  mkdir -p "$WINEPREFIX"
  wineserver -p
  trap stop_windows_env EXIT
  wine wineboot >/dev/null 2>&1
  local port_file
  port_file=$(mktemp)
  build/default/bin/discord-standin --port 0 --port-file "$port_file" --control --lifetime 1800 \
    >/dev/null &
  windows_standin=$!
  for _ in $(seq 100); do [ -s "$port_file" ] && break; sleep 0.1; done
  QUILLMARK_STANDIN_PORT=$(cat "$port_file")
  export QUILLMARK_STANDIN_PORT
  rm -f "$port_file"
  if [ -z "$QUILLMARK_STANDIN_PORT" ]; then
    echo "the Discord stand-in (build/default/bin/discord-standin) did not start" >&2
    return 1
  fi
}
