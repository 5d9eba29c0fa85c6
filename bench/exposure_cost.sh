#!/usr/bin/env bash
# What the exposure options cost on a set made by bench/make_sets.py: runs without and with
# them alternate, each round in another order (so a busy machine weighs on all alike), and
# the medians of wall, user and system time are printed, with the estimate's own time from
# -profile.
# usage: bench/exposure_cost.sh SETDIR [REPS]   (quiltmerge: $QM or build/quiltmerge)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
qm=${QM:-$here/../build/quiltmerge}
setdir=$(cd "$1" && pwd)
reps=${2:-3}
mapfile -t words <"$setdir/args.txt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
variants=("" "--exposure gain" "--exposure gain-grid --vignetting")
for ((r = 1; r <= reps; ++r)); do
  # Each round starts with another variant, so none is always run first or last.
  for k in "${!variants[@]}"; do
    v=$(((k + r) % ${#variants[@]}))
    # shellcheck disable=SC2086
    /usr/bin/time -f "%e %U %S" -o time.txt "$qm" -profile ${variants[v]} -o out.tif "${words[@]}" >/dev/null
    estimate=$(awk -F'|' '/ exposure estimate/ { gsub(/ /, "", $4); print $4 / 1000 }' profile.txt)
    echo "$v $(cat time.txt) ${estimate:-0}" >>runs.txt
    echo "run $r: ${variants[v]:-(no option)}: $(cat time.txt) estimate ${estimate:-0} s; load $(cut -d' ' -f1 /proc/loadavg)" >&2
  done
done
echo "| options | wall s, median (min-max) | CPU s (user+sys) | estimate s | wall vs none |"
echo "|---|---|---|---|---|"
/usr/bin/python3 - "${variants[@]}" <<'PYTHON'
import statistics
import sys
variants = sys.argv[1:]
runs = [line.split() for line in open("runs.txt")]
base = None
for v, name in enumerate(variants):
    rows = [list(map(float, r[1:])) for r in runs if int(r[0]) == v]
    wall = [r[0] for r in rows]
    cpu = statistics.median(r[1] + r[2] for r in rows)
    base = base or statistics.median(wall)
    print("| %s | %.2f (%.2f-%.2f) | %.2f | %.2f | %+.1f %% |" % (
        name or "(none)", statistics.median(wall), min(wall), max(wall), cpu,
        statistics.median(r[3] for r in rows), 100 * (statistics.median(wall) / base - 1)))
PYTHON
