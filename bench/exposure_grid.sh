#!/usr/bin/env bash
# The exposure options on a grid mosaic made by bench/make_sets.py (it needs truth.json and
# truth.tif): quiltmerge without and with them, and multiblend, each scored against the
# untouched scene (PSNR), and the gains quiltmerge printed against the true ones.
# usage: bench/exposure_grid.sh SETDIR [WORKDIR]   (quiltmerge: $QM or build/quiltmerge)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
qm=${QM:-$here/../build/quiltmerge}
mb=${MB:-/tmp/multiblend/Multiblend}
setdir=$(cd "$1" && pwd)
work=${2:-$setdir/exposure}
mkdir -p "$work"
[[ -f $setdir/truth.tif ]] || { echo "no truth.tif in $setdir: make the set with --truth on" >&2; exit 2; }
mapfile -t words <"$setdir/args.txt"
mapfile -t layers <"$setdir/multiblend_args.txt"
cd "$work"
outputs=()
for options in "" "--exposure gain" "--exposure gain --vignetting" "--exposure gain-grid --vignetting"; do
  name=quiltmerge${options:+ $options}
  file=qm$(echo "$options" | tr -d ' -').tif
  # shellcheck disable=SC2086
  "$qm" -profile --compression none $options -o "$file" "${words[@]}" | tr '\r' '\n' >"${file%.tif}.log"
  outputs+=("${name// /_}=$file")
done
taskset -c 0 "$mb" --compression=none -o multiblend.tif "${layers[@]}" >multiblend.log 2>&1
outputs+=("multiblend=multiblend.tif")
/usr/bin/python3 "$here/exposure_score.py" psnr "$setdir/truth.tif" "${outputs[@]}"
for log in qmexposuregainvignetting qmexposuregaingridvignetting; do
  echo "$log:"
  /usr/bin/python3 "$here/exposure_score.py" gains "$setdir/truth.json" "$log.log"
done
