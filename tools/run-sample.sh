#!/usr/bin/env bash
# Builds quiltmerge and merges the bundled sample photos into blended.tif.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target quiltmerge
./build/quiltmerge -o blended.tif samples/demo_1.jpg -xoff 560 -yoff 8 samples/demo_2.jpg \
  -xoff 1120 -yoff 3 samples/demo_3.jpg
