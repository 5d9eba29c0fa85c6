#!/usr/bin/env bash
# Builds and runs every test twice: an optimised build, then one under
# AddressSanitizer and UndefinedBehaviorSanitizer (any report fails the run); in between,
# where dpkg-deb is there, builds, unpacks and tries the Debian package. Last, a
# ThreadSanitizer build runs the tests of the code that uses threads: the pool, the
# row-parallel kernels, storage and the block cache, the merge with its pyramid thread,
# the driver with its read-ahead, the strip encoder, and the binary at several thread counts.
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

# Tests that fork a multi-threaded test process or cap its address space cannot run under
# ThreadSanitizer, so the set is named rather than everything but a few.
threaded='^(Parallel|KernelThreads|RegionCopyThreads|SeamErrorThreads|FileStorageThreads|BlockCache|StoragePolicy|StorageFactory|FileStorage|PyramidStorage|FileBackedTiff|BlendZone|PairwiseMerge|RunDriver|TiffOutputSettings)[.]|^OutputDigest[.]GridAtAnyThreadCount'
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DQM_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -j"$jobs" --output-on-failure -R "$threaded"
