#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) and runs each for the given time,
# one after the other at the lowest priority: fuzz/run.sh SECONDS [TARGET...]
# (targets: tiff_fuzz devil_fuzz merge_fuzz icc_fuzz). Crashes, hangs over 10 s and runs over 2 GB are
# kept in build-fuzz/artifacts/TARGET/ and the search goes on; the corpus grows in
# build-fuzz/corpus/TARGET/, seeded by make_seeds and fuzz/regressions/TARGET/. The log of
# each run is build-fuzz/TARGET.log.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:?usage: fuzz/run.sh SECONDS [TARGET...]}"
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(tiff_fuzz devil_fuzz merge_fuzz icc_fuzz)

if ! command -v clang++ >/dev/null; then
  echo "fuzz/run.sh needs clang with libFuzzer: apt-get install clang libclang-rt-dev" >&2
  exit 2
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DQM_FUZZ=ON >/dev/null
nice -n 19 cmake --build build-fuzz -j2 --target "${targets[@]}" make_seeds
rm -rf build-fuzz/seeds
build-fuzz/make_seeds build-fuzz/seeds

for target in "${targets[@]}"; do
  kind="${target%_fuzz}"
  top="$PWD/build-fuzz"
  corpus="$top/corpus/$target" artifacts="$top/artifacts/$target"
  mkdir -p "$corpus" "$artifacts" "$top/$target.run"
  # Targets without findings yet have no regressions folder.
  sources=("$corpus" "$top/seeds/$kind")
  [ -d "fuzz/regressions/$target" ] && sources+=("$top/../fuzz/regressions/$target")
  # DevIL's own leaks on its error paths end with the loader's child process; ours are
  # checked by the other targets.
  leaks=1
  [ "$kind" = devil ] && leaks=0
  echo "== $target for $seconds s"
  # libFuzzer writes the log of its one job (fuzz-0.log) into the current folder.
  (cd "$top/$target.run" &&
    ASAN_OPTIONS="detect_leaks=$leaks:allocator_may_return_null=1" UBSAN_OPTIONS=print_stacktrace=1 \
      nice -n 19 "$top/$target" -fork=1 -jobs=1 -workers=1 -ignore_crashes=1 -ignore_timeouts=1 \
      -ignore_ooms=1 -rss_limit_mb=2048 -timeout=10 -max_len=32768 -max_total_time="$seconds" \
      -artifact_prefix="$artifacts/" "${sources[@]}" \
      > /dev/null 2>&1 || true)
  mv "$top/$target.run/fuzz-0.log" "$top/$target.log" 2>/dev/null || true
  # Jobs that crashed could not remove their input folders (fuzz_files.h).
  rm -rf /dev/shm/qm_fuzz_* /tmp/qm_fuzz_*
  echo "   $(ls "$artifacts" | wc -l) artifacts, corpus $(ls "$corpus" | wc -l) files; log build-fuzz/$target.log"
done
