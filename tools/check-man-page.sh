#!/usr/bin/env bash
# Renders a man page (plain or gzipped) as groff and as man do, and fails on any
# warning either prints; the rendered text goes to the file given second, if any.
set -euo pipefail
page=$1
text=${2:-/dev/null}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
zcat -f "$page" | groff -man -ww -z 2>>"$log"
if command -v man >/dev/null; then
  MANWIDTH=80 man --warnings -l "$page" 2>>"$log" >"$text"
fi
if [ -s "$log" ]; then
  cat "$log"
  exit 1
fi
