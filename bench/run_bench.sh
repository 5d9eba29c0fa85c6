#!/usr/bin/env bash
# Times quiltmerge against enblend on the sets made by bench/make_sets.py, plus our own
# read-and-write floor, and prints a markdown table (also written to a file).
set -euo pipefail

usage() {
  cat <<'EOF'
usage: bench/run_bench.sh [options] OUTDIR
  --sets a,b,...      sets to run (default: every set found in OUTDIR)
  --reps N            runs per program and set, alternating (default 3)
  --qm BINARY         quiltmerge to time (default: build/quiltmerge of this checkout)
  --qm-args "..."     extra options for quiltmerge, e.g. "-threads 2"
  --io-floor BINARY   io_floor program (default: build-bench/io_floor; skipped if missing)
  --no-enblend        time quiltmerge (and the floor) only
  --enblend-max S     after an enblend run longer than S seconds, no more enblend runs
                      of that set (default 120; the table says how many ran)
  --out FILE          markdown report (default OUTDIR/bench-results.md)
  --from-runs TSV     run nothing: render the report from saved runs (the .tsv written
                      beside the report, or several concatenated); --qm, --reps label it
EOF
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
sets="" reps=3 qm="$repo/build/quiltmerge" qm_args="" floor="$repo/build-bench/io_floor"
enblend_on=1 enblend_max=120 out="" outdir="" from_runs=""
while (($#)); do
  case "$1" in
    --sets) sets=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --qm) qm=$2; shift 2 ;;
    --qm-args) qm_args=$2; shift 2 ;;
    --io-floor) floor=$2; shift 2 ;;
    --no-enblend) enblend_on=0; shift ;;
    --enblend-max) enblend_max=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --from-runs) from_runs=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "unknown option $1" >&2; usage >&2; exit 2 ;;
    *) [[ -z $outdir ]] || { usage >&2; exit 2; }; outdir=$1; shift ;;
  esac
done
outdir=${outdir:-/tmp/qm-bench}
outdir=$(cd "$outdir" && pwd)
out=${out:-$outdir/bench-results.md}
raw=${out%.md}.tsv
[[ $reps =~ ^[1-9][0-9]*$ ]] || { echo "--reps needs a positive number" >&2; exit 2; }
if [[ -n $from_runs ]]; then
  [[ -f $from_runs ]] || { echo "no file $from_runs" >&2; exit 2; }
  runs=$from_runs
else
  [[ -x $qm ]] || { echo "no quiltmerge at $qm (use --qm)" >&2; exit 2; }
  qm=$(cd "$(dirname "$qm")" && pwd)/$(basename "$qm")
  [[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }
  if ((enblend_on)) && ! command -v enblend >/dev/null; then
    echo "enblend not found: install it or pass --no-enblend" >&2; exit 2
  fi
  [[ -x $floor ]] || { echo "note: no io_floor at $floor, floor column skipped" >&2; floor=""; }

  all_sets=(two grid3x3 row6 wrap360 scale8 scale16 scale32 scale64 big90 big90_16)
  if [[ -z $sets ]]; then
    run_sets=()
    for s in "${all_sets[@]}"; do [[ -f $outdir/$s/args.txt ]] && run_sets+=("$s"); done
  else
    IFS=, read -r -a run_sets <<<"$sets"
  fi
  ((${#run_sets[@]})) || { echo "no sets in $outdir: run bench/make_sets.py $outdir first" >&2; exit 2; }
  for s in "${run_sets[@]}"; do
    [[ -f $outdir/$s/args.txt ]] || { echo "set $s missing in $outdir" >&2; exit 2; }
  done

  # Outputs of up to a GB each go to a scratch folder that is emptied after every run.
  work=$(mktemp -d "$outdir/.runs.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  runs=$work/runs.tsv
  : >"$runs"
  read -r -a extra <<<"$qm_args"

  # Runs one program under /usr/bin/time -v, appends set, tool, wall, user, sys, rss, status
  # and the 1-minute load average before the run (other work on the machine skews wall times).
  timed() {
    local set=$1 tool=$2; shift 2
    local status=0 load
    load=$(cut -d' ' -f1 /proc/loadavg)
    rm -f "$work/time.txt"
    (cd "$work/scratch" && OMP_NUM_THREADS=1 /usr/bin/time -v -o "$work/time.txt" "$@" \
      >"$work/log.txt" 2>&1) || status=$?
    if ((status)) && ! grep -q 'Exit status' "$work/time.txt" 2>/dev/null; then
      echo "$tool on $set could not be started" >&2; exit 1
    fi
    awk -v set="$set" -v tool="$tool" -v load="$load" -F': ' '
      /Elapsed \(wall clock\)/ { n = split($NF, p, ":"); wall = 0; for (i = 1; i <= n; i++) wall = wall * 60 + p[i] }
      /User time/ { user = $NF } /System time/ { sys = $NF }
      /Maximum resident set size/ { rss = $NF } /Exit status/ { if (st == "") st = $NF }
      /Command terminated by signal/ { n = split($0, w, " "); st = 128 + w[n] }
      END { printf "%s\t%s\t%.3f\t%.2f\t%.2f\t%d\t%d\t%s\n", set, tool, wall, user, sys, rss, st, load }' \
      "$work/time.txt" >>"$runs"
    local line; line=$(tail -n 1 "$runs")
    local wall st; wall=$(cut -f3 <<<"$line"); st=$(cut -f7 <<<"$line")
    if [[ $st != 0 ]]; then
      echo "  $set $tool: FAILED (exit $st), last lines:" >&2
      tail -c 2000 "$work/log.txt" | tr '\r' '\n' | tail -n 5 | sed 's/^/    /' >&2
    else
      printf '  %-9s %-10s %8.2f s\n' "$set" "$tool" "$wall" >&2
    fi
    rm -rf "$work/scratch" && mkdir "$work/scratch"
    LAST_WALL=$wall
  }

  mkdir "$work/scratch"
  echo "quiltmerge: $qm${qm_args:+ (extra: $qm_args)}, reps $reps, sets ${run_sets[*]}" >&2
  for s in "${run_sets[@]}"; do
    mapfile -t args <"$outdir/$s/args.txt"
    enblend_args=()
    [[ -f $outdir/$s/enblend_args.txt ]] && mapfile -t enblend_args <"$outdir/$s/enblend_args.txt"
    enblend_left=$enblend_on
    for ((r = 1; r <= reps; r++)); do
      timed "$s" quiltmerge "$qm" "${extra[@]}" -o out.tif "${args[@]}"
      if ((enblend_left)); then
        timed "$s" enblend enblend -o out.tif "${enblend_args[@]}"
        awk -v w="$LAST_WALL" -v m="$enblend_max" 'BEGIN { exit !(w > m) }' && enblend_left=0
      fi
      if [[ -n $floor ]]; then timed "$s" io_floor "$floor" out.tif "${args[@]}"; fi
    done
  done

  cp "$runs" "$raw"
fi
/usr/bin/python3 - "$runs" "$outdir" "$out" "$qm" "$qm_args" "$reps" <<'PY'
import statistics, sys

runs_file, outdir, out, qm, qm_args, reps = sys.argv[1:]
rows = {}
order = []
for line in open(runs_file):
    s, tool, wall, user, sys_, rss, st, *load = line.rstrip("\n").split("\t")
    if s not in rows:
        rows[s] = {}
        order.append(s)
    rows[s].setdefault(tool, []).append(
        dict(wall=float(wall), cpu=float(user) + float(sys_), sys=float(sys_), rss=int(rss), ok=st == "0"))
    if load:
        rows[s].setdefault("load", []).append(float(load[0]))

def info(s):
    d = {}
    try:
        for word in open("%s/%s/set.txt" % (outdir, s)).read().split():
            k, _, v = word.partition("=")
            d[k] = v
    except OSError:
        pass
    return d

def summary(runs):
    if not runs:
        return None
    good = [r for r in runs if r["ok"]]
    if len(good) < len(runs):
        return dict(failed=len(runs) - len(good), n=len(runs))
    med = lambda k: statistics.median(r[k] for r in good)
    return dict(n=len(good), wall=med("wall"), lo=min(r["wall"] for r in good), hi=max(r["wall"] for r in good),
                cpu=med("cpu"), sys=med("sys"), rss=max(r["rss"] for r in good) / 1024.0, failed=0)

def wall_cell(m, reps):
    if m is None:
        return "—"
    if m["failed"]:
        return "FAILED %d/%d" % (m["failed"], m["n"])
    note = "" if m["n"] == int(reps) else " (%d run%s)" % (m["n"], "" if m["n"] == 1 else "s")
    return "%.2f (%.2f–%.2f)%s" % (m["wall"], m["lo"], m["hi"], note)

def num(m, k, fmt):
    return fmt % m[k] if m and not m["failed"] else "—"

lines = []
lines.append("quiltmerge `%s`%s; %s reps each, alternating; times in seconds, wall as median (min–max); "
             "CPU = user+sys; RSS = peak MiB; floor = read all inputs + write one canvas-sized output "
             "with our own loader and saver; load = 1-minute load average before the runs (min–max)." % (qm, " with `%s`" % qm_args if qm_args else "", reps))
lines.append("")
lines.append("| set | tiles | canvas MP | qm wall | qm CPU | qm sys | qm RSS | enblend wall | enblend CPU | "
             "enblend sys | enblend RSS | enblend/qm | io floor | load |")
lines.append("|---|---:|---:|---|---:|---:|---:|---|---:|---:|---:|---:|---:|---:|")
per_tile = {}
for s in order:
    d = info(s)
    q = summary(rows[s].get("quiltmerge", []))
    e = summary(rows[s].get("enblend", []))
    f = summary(rows[s].get("io_floor", []))
    ratio = "%.2f" % (e["wall"] / q["wall"]) if q and e and not q["failed"] and not e["failed"] else "—"
    loads = rows[s].get("load")
    load = "%.1f–%.1f" % (min(loads), max(loads)) if loads else "—"
    lines.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
        s + (" (16-bit)" if d.get("bits") == "16" else ""), d.get("tiles", "?"), d.get("mpix", "?"),
        wall_cell(q, reps), num(q, "cpu", "%.2f"), num(q, "sys", "%.2f"), num(q, "rss", "%.0f"),
        wall_cell(e, reps), num(e, "cpu", "%.2f"), num(e, "sys", "%.2f"), num(e, "rss", "%.0f"), ratio,
        num(f, "wall", "%.2f"), load))
    if s.startswith("scale") and q and not q["failed"] and d.get("tiles"):
        n = int(d["tiles"])
        per_tile[n] = (q["wall"] / n, q["cpu"] / n)
if per_tile:
    lines.append("")
    parts = ["%d: %.3f / %.3f" % (n, per_tile[n][0], per_tile[n][1]) for n in sorted(per_tile)]
    line = "Scaling, quiltmerge seconds per tile (median wall / median CPU) for N tiles: " + ", ".join(parts)
    if 8 in per_tile and 64 in per_tile:
        line += "; ratio 64/8: wall %.2f, CPU %.2f" % (per_tile[64][0] / per_tile[8][0], per_tile[64][1] / per_tile[8][1])
    lines.append(line)
text = "\n".join(lines) + "\n"
sys.stdout.write(text)
with open(out, "w") as fh:
    fh.write(text)
PY
if [[ -n $from_runs ]]; then echo "report written to $out" >&2; else echo "report written to $out (raw runs: $raw)" >&2; fi
