#!/usr/bin/env bash
# Builds and runs every test twice: an optimised build, then one under
# AddressSanitizer and UndefinedBehaviorSanitizer (any report fails the run); in between,
# where dpkg-deb is there, builds, unpacks and tries the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs="$(nproc)"

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

if command -v dpkg-deb >/dev/null; then
  bash tools/package-test.sh
fi

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize -j"$jobs" --output-on-failure
