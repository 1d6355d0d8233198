#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and tests need and the machine lacks.
# Does nothing when everything is present. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  cmake g++ make pkg-config git
  nlohmann-json3-dev libspdlog-dev libfmt-dev libcurl4-openssl-dev libssl-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev python3 python3-jsonschema
  rcon python3-rcon unicode-data
  "$@"
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
