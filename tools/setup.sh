#!/usr/bin/env bash
# Installs from Debian whatever the build and the tests need and is missing, and any
# package named as an argument; does nothing when all is there.
set -euo pipefail
# groff-base and man-db render the man page; dpkg-dev and file find the package's dependencies.
packages=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev libtiff-dev libdevil-dev zlib1g-dev libzstd-dev libdeflate-dev
  groff-base man-db dpkg-dev file "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
