#!/usr/bin/env bash
# Installs from Debian whatever the build and the tests need and is missing, and any
# package named as an argument; does nothing when all is there.
set -euo pipefail
# groff-base and man-db render the man page; dpkg-dev and file find the package's dependencies.
packages=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev libtiff-dev libdevil-dev zlib1g-dev libzstd-dev libdeflate-dev
  groff-base man-db dpkg-dev file "$@")
# nona and hugin_executor for the end-to-end test with Hugin; what hugin-tools recommends
# (panotools' programs) that test does not use.
without_recommends=(hugin-tools)
missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t missing_packages < <(missing "${packages[@]}")
mapfile -t missing_lean < <(missing "${without_recommends[@]}")
[ ${#missing_packages[@]} -eq 0 ] && [ ${#missing_lean[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing_packages[*]} ${missing_lean[*]}"
$sudo apt-get update -qq
if [ ${#missing_packages[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing_packages[@]}" >/dev/null
fi
if [ ${#missing_lean[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing_lean[@]}" >/dev/null
fi
