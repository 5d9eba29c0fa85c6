#!/usr/bin/env bash
# Builds the Debian package without the tests, unpacks it into a scratch root, merges the
# samples with the unpacked program (same bytes as build/quiltmerge gives), renders its man page
# and finds the Hugin output sequence.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs="$(nproc)"

cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-package -j"$jobs" >/dev/null
rm -f build-package/quiltmerge_*.deb
(cd build-package && cpack -G DEB >cpack.log 2>&1) || { cat build-package/cpack.log; exit 1; }
deb=$(ls build-package/quiltmerge_*.deb)
# The reference program: build/ as tools/test-all.sh leaves it.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs" --target quiltmerge >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for library in libtiff libdevil libstdc++; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "section is not graphics"
dpkg -x "$deb" "$scratch/root"
program=$scratch/root/usr/bin/quiltmerge
page=$scratch/root/usr/share/man/man1/quiltmerge.1.gz
[ -x "$program" ] || fail "no usr/bin/quiltmerge"
[ -f "$page" ] || fail "no usr/share/man/man1/quiltmerge.1.gz"
[ -f "$scratch/root/usr/share/doc/quiltmerge/README.md" ] || fail "no README"
executor=$scratch/root/usr/share/quiltmerge/hugin/quiltmerge.executor
grep -q "^Program=quiltmerge$" "$executor" 2>/dev/null || fail "no Hugin output sequence that runs quiltmerge"

samples=(demo_1.jpg -xoff 560 -yoff 8 demo_2.jpg -xoff 1120 -yoff 3 demo_3.jpg)
mkdir "$scratch/packaged" "$scratch/reference"
(cd "$root/samples" && "$program" -o "$scratch/packaged/out.tif" "${samples[@]}" >/dev/null) ||
  fail "the unpacked program failed"
(cd "$root/samples" && "$root/build/quiltmerge" -o "$scratch/reference/out.tif" "${samples[@]}" >/dev/null)
cmp -s "$scratch/packaged/out.tif" "$scratch/reference/out.tif" || fail "the unpacked program merged differently"
help=$("$program" --help)
grep -q -- "-threads N" <<<"$help" || fail "--help does not list -threads"

bash tools/check-man-page.sh "$page" "$scratch/man.txt" || fail "the man page renders with warnings"
grep -q "^OPTIONS" "$scratch/man.txt" && grep -q "QUILTMERGE_THREADS" "$scratch/man.txt" ||
  fail "the man page lacks OPTIONS or ENVIRONMENT"
echo "package test: $(basename "$deb") unpacks, merges the samples, renders its man page and has the Hugin sequence"
