#!/usr/bin/env bash
# Times quiltmerge (one binary or several, e.g. old against new) and multiblend on one set made
# by bench/make_sets.py, alternating, and prints a markdown table of wall, user and kernel
# time, peak RSS and output size per program (also written to a file, the runs beside it).
set -euo pipefail

usage() {
  cat <<'EOF'
usage: bench/grid_bench.sh [options] SETDIR
  --qm BINARY        quiltmerge to time; repeat to compare several in the same run
                     (default: build/quiltmerge of this checkout)
  --qm-args "..."    extra options for every quiltmerge run, e.g. "-threads 2"
  --mb BINARY        multiblend (default /tmp/multiblend/Multiblend)
  --mb-args "..."    extra options for multiblend
  --mb-cpus LIST     taskset CPU list multiblend is pinned to (default 0; "" = not pinned)
  --no-mb            time quiltmerge only
  --compression C    output compression for both programs: none (default), packbits or lzw
  --reps N           runs per program, alternating (default 3)
  --work DIR         where outputs are written (default: a scratch folder in SETDIR,
                     removed at the end); outputs of the grid sets reach 26 GB
  --keep DIR         keep each program's last output there (qm1.tif ..., multiblend.tif)
  --out FILE.md      markdown report (default SETDIR/grid-bench.md); the runs go to FILE.tsv
  --from-runs TSV    run nothing: render the report from saved runs
quiltmerge gets the words of SETDIR/args.txt; multiblend those of multiblend_args.txt (or,
for the older sets, enblend_args.txt), which place the inputs by their TIFF position tags.
EOF
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
qms=() qm_args="" mb=/tmp/multiblend/Multiblend mb_args="" mb_cpus=0 mb_on=1
compression=none reps=3 work="" keep="" out="" from_runs="" setdir=""
while (($#)); do
  case "$1" in
    --qm) qms+=("$2"); shift 2 ;;
    --qm-args) qm_args=$2; shift 2 ;;
    --mb) mb=$2; shift 2 ;;
    --mb-args) mb_args=$2; shift 2 ;;
    --mb-cpus) mb_cpus=$2; shift 2 ;;
    --no-mb) mb_on=0; shift ;;
    --compression) compression=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --from-runs) from_runs=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "unknown option $1" >&2; usage >&2; exit 2 ;;
    *) [[ -z $setdir ]] || { usage >&2; exit 2; }; setdir=$1; shift ;;
  esac
done
[[ -n $setdir && -d $setdir ]] || { usage >&2; exit 2; }
setdir=$(cd "$setdir" && pwd)
out=${out:-$setdir/grid-bench.md}
[[ $reps =~ ^[1-9][0-9]*$ ]] || { echo "--reps needs a positive number" >&2; exit 2; }
case $compression in none|packbits|lzw) ;; *) echo "--compression: none, packbits or lzw" >&2; exit 2 ;; esac
((${#qms[@]})) || qms=("$repo/build/quiltmerge")

if [[ -n $from_runs ]]; then
  [[ -f $from_runs ]] || { echo "no file $from_runs" >&2; exit 2; }
  runs=$from_runs
else
  for i in "${!qms[@]}"; do
    [[ -x ${qms[i]} ]] || { echo "no quiltmerge at ${qms[i]} (use --qm)" >&2; exit 2; }
    qms[i]=$(cd "$(dirname "${qms[i]}")" && pwd)/$(basename "${qms[i]}")
  done
  [[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }
  [[ -f $setdir/args.txt ]] || { echo "no args.txt in $setdir: make it with bench/make_sets.py" >&2; exit 2; }
  mapfile -t qm_words <"$setdir/args.txt"
  read -r -a qm_extra <<<"$qm_args"
  mb_cmd=()
  if ((mb_on)); then
    [[ -x $mb ]] || { echo "no multiblend at $mb (use --mb or --no-mb)" >&2; exit 2; }
    if [[ -f $setdir/multiblend_args.txt ]]; then
      mapfile -t mb_words <"$setdir/multiblend_args.txt"
    elif [[ -f $setdir/enblend_args.txt ]]; then
      mapfile -t mb_words <"$setdir/enblend_args.txt"
    else
      echo "no multiblend_args.txt in $setdir (or use --no-mb)" >&2; exit 2
    fi
    read -r -a mb_extra <<<"$mb_args"
    # multiblend writes classic TIFF unless told; an RGBA canvas past 4 GiB needs BigTIFF.
    canvas=$(grep -o 'canvas=[0-9]*x[0-9]*' "$setdir/set.txt" 2>/dev/null | cut -d= -f2 || true)
    big=()
    if [[ -n $canvas ]] && ((${canvas%x*} * ${canvas#*x} * 4 + (64 << 20) > (1 << 32))); then big=(--bigtiff); fi
    [[ -n $mb_cpus ]] && mb_cmd=(taskset -c "$mb_cpus")
    mb_cmd+=("$mb" "--compression=$compression" "${big[@]}" "${mb_extra[@]}" -o out.tif "${mb_words[@]}")
  fi

  if [[ -n $work ]]; then
    mkdir -p "$work"
    work=$(mktemp -d "$(cd "$work" && pwd)/grid-runs.XXXXXX")
  else
    work=$(mktemp -d "$setdir/.grid-runs.XXXXXX")
  fi
  trap 'rm -rf "$work"' EXIT
  [[ -z $keep ]] || mkdir -p "$keep"
  runs=$work/runs.tsv
  : >"$runs"

  # One run under /usr/bin/time -v in an empty folder; appends label, rep, wall, user, sys,
  # peak RSS (KiB), exit status, output bytes and the 1-minute load average before the run.
  timed() {
    local label=$1 rep=$2; shift 2
    local status=0 load size=0
    load=$(cut -d' ' -f1 /proc/loadavg)
    rm -rf "$work/scratch" && mkdir "$work/scratch"
    (cd "$work/scratch" && /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/$label.log" 2>&1) || status=$?
    if ((status)) && ! grep -q 'Exit status' "$work/time.txt" 2>/dev/null; then
      echo "$label could not be started: $*" >&2; exit 1
    fi
    [[ -f $work/scratch/out.tif ]] && size=$(stat -c %s "$work/scratch/out.tif")
    awk -v label="$label" -v rep="$rep" -v load="$load" -v size="$size" -F': ' '
      /Elapsed \(wall clock\)/ { n = split($NF, p, ":"); wall = 0; for (i = 1; i <= n; i++) wall = wall * 60 + p[i] }
      /User time/ { user = $NF } /System time/ { sys = $NF }
      /Maximum resident set size/ { rss = $NF } /Exit status/ { if (st == "") st = $NF }
      /Command terminated by signal/ { n = split($0, w, " "); st = 128 + w[n] }
      END { printf "%s\t%d\t%.3f\t%.2f\t%.2f\t%d\t%d\t%d\t%s\n", label, rep, wall, user, sys, rss, st, size, load }' \
      "$work/time.txt" >>"$runs"
    local line; line=$(tail -n 1 "$runs")
    if [[ $(cut -f7 <<<"$line") != 0 ]]; then
      echo "  $label run $rep: FAILED (exit $(cut -f7 <<<"$line")), last lines:" >&2
      tail -c 2000 "$work/$label.log" | tr '\r' '\n' | tail -n 5 | sed 's/^/    /' >&2
    else
      printf '  %-11s run %d: %8.2f s wall, %7.2f s user, %7.2f s sys, %6d MiB\n' "$label" "$rep" \
        "$(cut -f3 <<<"$line")" "$(cut -f4 <<<"$line")" "$(cut -f5 <<<"$line")" $(($(cut -f6 <<<"$line") / 1024)) >&2
      if [[ -n $keep && $rep == "$reps" && -f $work/scratch/out.tif ]]; then mv "$work/scratch/out.tif" "$keep/$label.tif"; fi
    fi
    rm -rf "$work/scratch"
  }

  labels=()
  for i in "${!qms[@]}"; do
    if ((${#qms[@]} == 1)); then labels+=(quiltmerge); else labels+=("qm$((i + 1))"); fi
    echo "${labels[i]}: ${qms[i]}${qm_args:+ $qm_args}" >&2
  done
  if ((mb_on)); then echo "multiblend: ${mb_cmd[*]:0:$((${#mb_cmd[@]} - ${#mb_words[@]}))} <${#mb_words[@]} inputs>" >&2; fi
  echo "set $setdir, $reps reps, compression $compression" >&2
  for ((r = 1; r <= reps; r++)); do
    for i in "${!qms[@]}"; do
      timed "${labels[i]}" "$r" "${qms[i]}" "${qm_extra[@]}" --compression "$compression" -o out.tif "${qm_words[@]}"
    done
    if ((mb_on)); then timed multiblend "$r" "${mb_cmd[@]}"; fi
  done
  {
    for i in "${!qms[@]}"; do printf '#binary\t%s\t%s\n' "${labels[i]}" "${qms[i]}${qm_args:+ $qm_args}"; done
    if ((mb_on)); then printf '#binary\tmultiblend\t%s\n' "$mb${mb_cpus:+ (taskset -c $mb_cpus)}${mb_args:+ $mb_args}"; fi
    printf '#set\t%s\t%s\n' "$setdir" "$compression"
    cat "$runs"
  } >"${out%.md}.tsv"
  runs=${out%.md}.tsv
fi

/usr/bin/python3 - "$runs" "$out" <<'PY'
import os, statistics, sys

runs_file, out = sys.argv[1:]
binaries, runs, order = {}, {}, []
setdir, compression = "?", "?"
for line in open(runs_file):
    f = line.rstrip("\n").split("\t")
    if f[0] == "#binary":
        binaries[f[1]] = f[2]
        continue
    if f[0] == "#set":
        setdir, compression = f[1], f[2]
        continue
    label, rep, wall, user, sys_, rss, st, size, load = f
    if label not in runs:
        runs[label] = []
        order.append(label)
    runs[label].append(dict(wall=float(wall), user=float(user), sys=float(sys_), rss=int(rss) / 1024.0,
                            ok=st == "0", size=int(size), load=float(load)))

info = {}
try:
    for word in open(os.path.join(setdir, "set.txt")).read().split():
        k, _, v = word.partition("=")
        info[k] = v
except OSError:
    pass

med = statistics.median
summary = {}
for label in order:
    good = [r for r in runs[label] if r["ok"]]
    if good:
        summary[label] = {k: med(r[k] for r in good) for k in ("wall", "user", "sys", "rss", "size")}
        summary[label].update(lo=min(r["wall"] for r in good), hi=max(r["wall"] for r in good),
                              rss_max=max(r["rss"] for r in good), n=len(good), failed=len(runs[label]) - len(good),
                              sys_lo=min(r["sys"] for r in good), sys_hi=max(r["sys"] for r in good))

loads = [r["load"] for label in order for r in runs[label]]
lines = ["Set `%s`: %s tiles of %s, canvas %s (%s MP); output compression %s; times in seconds, median "
         "(min–max) of the runs, programs alternating; sys = kernel time; RSS = peak resident MiB; "
         "1-minute load average before the runs %s." % (
             os.path.basename(setdir), info.get("tiles", "?"), info.get("tile", "?"), info.get("canvas", "?"),
             info.get("mpix", "?"), compression,
             "%.1f–%.1f" % (min(loads), max(loads)) if loads else "—"), ""]
for label in order:
    lines.append("- %s: `%s`" % (label, binaries.get(label, "?")))
lines += ["", "| program | runs | wall | user | sys | sys % of wall | peak RSS (max) | output MB |",
          "|---|---:|---|---:|---|---:|---:|---:|"]
for label in order:
    s = summary.get(label)
    if not s:
        lines.append("| %s | FAILED %d/%d | — | — | — | — | — | — |" % (label, len(runs[label]), len(runs[label])))
        continue
    lines.append("| %s | %d%s | %.2f (%.2f–%.2f) | %.2f | %.2f (%.2f–%.2f) | %.0f %% | %.0f (%.0f) | %.1f |" % (
        label, s["n"], " (+%d failed)" % s["failed"] if s["failed"] else "", s["wall"], s["lo"], s["hi"],
        s["user"], s["sys"], s["sys_lo"], s["sys_hi"], 100.0 * s["sys"] / s["wall"] if s["wall"] else 0.0,
        s["rss"], s["rss_max"], s["size"] / 1e6))

qm_labels = [l for l in order if l != "multiblend" and l in summary]
ratios = []
if "multiblend" in summary:
    m = summary["multiblend"]
    for l in qm_labels:
        q = summary[l]
        ratios.append("%s / multiblend: wall %.2f, user+sys %.2f, peak RSS %.2f" % (
            l, q["wall"] / m["wall"], (q["user"] + q["sys"]) / max(m["user"] + m["sys"], 1e-9), q["rss"] / m["rss"]))
for l in qm_labels[1:]:
    a, b = summary[qm_labels[0]], summary[l]
    ratios.append("%s / %s: wall %.2f, user+sys %.2f, peak RSS %.2f" % (
        l, qm_labels[0], b["wall"] / a["wall"], (b["user"] + b["sys"]) / max(a["user"] + a["sys"], 1e-9),
        b["rss"] / a["rss"]))
if ratios:
    lines += ["", "Ratios of the medians: " + "; ".join(ratios) + "."]
text = "\n".join(lines) + "\n"
sys.stdout.write(text)
with open(out, "w") as fh:
    fh.write(text)
PY
echo "report written to $out (runs: $runs)" >&2
if awk -F'\t' '$1 !~ /^#/ && $7 != 0 { bad = 1 } END { exit !bad }' "$runs"; then
  echo "some runs failed" >&2; exit 1
fi
