#!/usr/bin/env bash
# Hugin's layers with known exposure and vignetting, for the exposure measurements.
# Six shots as a camera turning about its centre would take them: nona renders each from a
# crop of aitzgorri.jpg taken as an equirectangular scene 130 degrees wide (rectilinear,
# 28 degrees, 19 degrees apart); their pixels then get exposure offsets of -1/3 .. +2/3 EV and
# a vignetting of 1 - 0.25 r^2 in linear light (gamma 2.2). A .pto with the true geometry and
# equal exposure values (so nona corrects nothing) gives the layers (nona -m TIFF_m); nona
# renders the scene itself on the same canvas as the truth. Then quiltmerge (plain and with
# the exposure options), enblend and multiblend merge the layers, and each result is scored
# against the truth: PSNR, and the 10-90 % width of the exposure step across one seam.
# usage: bench/hugin_exposure.sh [WORKDIR]   (quiltmerge: $QM or build/quiltmerge)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
qm=${QM:-$here/../build/quiltmerge}
mb=${MB:-/tmp/multiblend/Multiblend}
photos=$here/../../shared/photos
[[ -d $photos ]] || photos=/work/shared/photos
work=${1:-/tmp/qm-hugin-exposure}
mkdir -p "$work"
cd "$work"
rm -f shot_*.tif baked_*.tif layer*.tif truth*.tif

# The scene: the top 900 rows of the photo (sky and mountain), 130 degrees wide, one stop
# darker in linear light so that its nearly white sky is a smooth, unclipped area.
/usr/bin/python3 -c "
import numpy as np
from PIL import Image
top = np.asarray(Image.open('$photos/aitzgorri.jpg').crop((0, 0, 3088, 900))).astype(np.float64) / 255
Image.fromarray(np.rint((0.5 * top ** 2.2) ** (1 / 2.2) * 255).astype(np.uint8)).save('scene.tif')"
scene_line='i w3088 h900 f4 v130 Ra0 Rb0 Rc0 Rd0 Re0 Eev0 Er1 Eb1 r0 p0 TrX0 TrY0 TrZ0 j0 a0 b0 c0 d0 e0 g0 t0 Va1 Vb0 Vc0 Vd0 Vx0 Vy0 Vm5'
yaws=(-47.5 -28.5 -9.5 9.5 28.5 47.5)
evs=(0 0.3333 -0.3333 0 0.6667 0.3333)

# Each shot: the scene turned by -yaw in front of a 28-degree rectilinear camera.
for k in "${!yaws[@]}"; do
  turn=$(awk -v y="${yaws[k]}" 'BEGIN { print -y }')
  cat >shot.pto <<PTO
p f0 w700 h560 v28 E0 R0 n"TIFF_m c:NONE"
m i0
$scene_line y$turn n"scene.tif"
PTO
  nona -o "shot_$k" shot.pto
  mv "shot_${k}0000.tif" "shot_$k.tif"
done

# Exposure and vignetting in linear light; alpha kept.
/usr/bin/python3 - "${evs[@]}" <<'PYTHON'
import sys
import numpy as np
from PIL import Image
for k, ev in enumerate(float(v) for v in sys.argv[1:]):
    shot = np.asarray(Image.open("shot_%d.tif" % k).convert("RGBA")).astype(np.float64)
    h, w = shot.shape[:2]
    yy, xx = np.mgrid[0:h, 0:w]
    r2 = ((xx + 0.5 - w / 2) ** 2 + (yy + 0.5 - h / 2) ** 2) / ((w / 2) ** 2 + (h / 2) ** 2)
    linear = (shot[:, :, :3] / 255.0) ** 2.2 * (2.0 ** ev) * (1.0 - 0.25 * r2)[:, :, None]
    out = shot.copy()
    out[:, :, :3] = np.clip(linear, 0.0, 1.0) ** (1 / 2.2) * 255.0
    Image.fromarray(np.rint(out).astype(np.uint8), "RGBA").save("baked_%d.tif" % k)
PYTHON

# The mosaic: equirectangular, 23.75 px per degree as in the scene, cropped to the shots.
canvas='p f2 w8551 h4276 v360 E0 R0 S2760,5792,1850,2426 n"TIFF_m c:NONE r:CROP"'
{
  echo "$canvas"
  echo "m i0"
  for k in "${!yaws[@]}"; do
    echo "i w700 h560 f0 v28 Ra0 Rb0 Rc0 Rd0 Re0 Eev0 Er1 Eb1 r0 p0 y${yaws[k]} TrX0 TrY0 TrZ0 j0 a0 b0 c0 d0 e0 g0 t0 Va1 Vb0 Vc0 Vd0 Vx0 Vy0 Vm5 n\"baked_$k.tif\""
  done
} >mosaic.pto
nona -m TIFF_m -o layer mosaic.pto
sed 's/baked_/shot_/' mosaic.pto >true_mosaic.pto
nona -m TIFF_m -o true_layer true_mosaic.pto
{
  echo "${canvas/TIFF_m/TIFF}"
  echo "m i0"
  echo "$scene_line y0 n\"scene.tif\""
} >truth.pto
nona -m TIFF -o truth truth.pto

# Where the top-left corner of the files' union lies on the truth's canvas, from their
# position tags (a quiltmerge output starts at its inputs' union).
place() {
  /usr/bin/python3 - "$@" <<'PYTHON'
import sys
from PIL import Image
def at(f):
    t = Image.open(f).tag_v2
    return round(float(t[286]) * float(t[282])), round(float(t[287]) * float(t[283]))
tx, ty = at("truth.tif")
corners = [at(f) for f in sys.argv[1:]]
print("%d,%d" % (min(x for x, _ in corners) - tx, min(y for _, y in corners) - ty))
PYTHON
}
layers=(layer000?.tif)
outputs=()
for options in "" "--exposure gain" "--exposure gain-grid"; do
  file=qm$(echo "$options" | tr -d ' -').tif
  # shellcheck disable=SC2086
  "$qm" --tiff-positions --compression none -profile $options -o "$file" "${layers[@]}" | tr '\r' '\n' >"${file%.tif}.log"
  name=quiltmerge${options:+ $options}
  outputs+=("${name// /_}=$file@$(place "${layers[@]}")")
done
enblend --compression=none -o enblend.tif "${layers[@]}" 2>enblend.log
outputs+=("enblend=enblend.tif@$(place enblend.tif)")
taskset -c 0 "$mb" --compression=none -o multiblend.tif "${layers[@]}" >multiblend.log 2>&1
outputs+=("multiblend=multiblend.tif@$(place multiblend.tif)")
/usr/bin/python3 "$here/exposure_score.py" psnr truth.tif "${outputs[@]}"
# The seam between the fourth shot (0 EV) and the fifth (+2/3 EV), in the sky.
/usr/bin/python3 "$here/exposure_score.py" transition truth.tif 1650 2350 25 80 "${outputs[@]}"
grep -h "^  [0-9]" qmexposuregain.log
