#!/usr/bin/env bash
# Remakes the README pictures in docs/images/ from the program's own output: the sample
# photos pasted plainly at their offsets, the merged result, and the second seam's mask.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh python3-pil
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target quiltmerge
root=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The same placement as tools/run-sample.sh.
(cd "$work" && "$root/build/quiltmerge" -SeamVerbose "$root/samples/demo_1.jpg" -xoff 560 -yoff 8 \
  "$root/samples/demo_2.jpg" -xoff 1120 -yoff 3 "$root/samples/demo_3.jpg" >/dev/null)
mkdir -p docs/images
/usr/bin/python3 - "$root/samples" "$work" docs/images <<'PYTHON'
import sys
from PIL import Image

samples, work, out = sys.argv[1:]
placed = [("demo_1.jpg", 0, 0), ("demo_2.jpg", 560, 8), ("demo_3.jpg", 1120, 3)]
# The canvas columns around the second seam (tile 3 starts at column 1120), at full size:
# scaled down, the steps would no longer show.
seam_area = (1060, 0, 1380, 608)

def flat(image):
    """White where no photo lies."""
    out = Image.new("RGB", image.size, "white")
    out.paste(image, mask=image.getchannel("A"))
    return out

merged = Image.open(f"{work}/blended.tif").convert("RGBA")
pasted = Image.new("RGBA", merged.size, (0, 0, 0, 0))
for name, x, y in placed:
    pasted.paste(Image.open(f"{samples}/{name}").convert("RGBA"), (x, y))
# Palettes keep the three pictures under 300 KB; the mask has fewer than 256 colours.
flat(pasted).crop(seam_area).quantize(64).save(f"{out}/samples-pasted.png", optimize=True)
flat(merged).crop(seam_area).quantize(64).save(f"{out}/samples-merged.png", optimize=True)
mask = Image.open(f"{work}/0001_Verb__DBG_09_SeamError_AlphaMask.png").convert("RGB")
mask.quantize(256).save(f"{out}/seam-mask.png", optimize=True)
PYTHON
du -cb docs/images/*.png
