#!/usr/bin/env bash
# Counts the X requests a Windows program makes under Wine, through xtrace, and what one
# new picture of a layered window costs in them: how many window shapes and images go to
# the X server per upload (an upload being an image of a whole window), and how many
# Expose events come back. Builds nothing; runs in the build's Wine session like the
# desktop bench.
#
#   bench/desktop/x-requests.sh [--compositing] PROGRAM.exe [ARGS...]
#   GNATTER_XREQ_SETTLE=40   seconds before counting (flies arrive in a burst first)
#   GNATTER_XREQ_SECONDS=20  seconds counted
#   GNATTER_XREQ_BUILD=DIR   the Windows build whose Wine session to use (default build/windows)
#   GNATTER_XREQ_LOG=FILE    keep xtrace's log there
#
# For example, 50 flies of 54 px, then the minimal program doing their window work:
#   bench/desktop/x-requests.sh build/windows/bin/gnatter.exe -n 50 -t 0 -s 54 --seed 1
#   bench/desktop/x-requests.sh build/windows/bin/window_load.exe 50 54 0.61 0.58
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
compositing=false
if [ "${1:-}" = --compositing ]; then compositing=true; shift; fi
[ $# -ge 1 ] || { echo "usage: x-requests.sh [--compositing] PROGRAM.exe [ARGS...]" >&2; exit 2; }
program=$1
shift
[ -f "$program" ] || { echo "x-requests: $program is missing" >&2; exit 2; }
command -v xtrace >/dev/null || { echo "x-requests: xtrace is missing (Debian package xtrace)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "x-requests: python3 is missing" >&2; exit 2; }
settle=${GNATTER_XREQ_SETTLE:-40}
seconds=${GNATTER_XREQ_SECONDS:-20}
build=${GNATTER_XREQ_BUILD:-$root/build/windows}
state=${GNATTER_WINE_STATE:-$build/wine}
log=${GNATTER_XREQ_LOG:-$(mktemp)}

"$root/scripts/wine-session.sh" start "$state"
eval "$("$root/scripts/wine-session.sh" env "$state")"

compositor=""
finish() {
  [ -z "$compositor" ] || kill "$compositor" 2>/dev/null || true
  [ -n "${GNATTER_XREQ_LOG:-}" ] || rm -f "$log"
}
trap finish EXIT
if $compositing; then
  command -v xcompmgr >/dev/null || { echo "x-requests: xcompmgr is missing" >&2; exit 2; }
  setsid xcompmgr </dev/null >/dev/null 2>&1 &
  compositor=$!
  sleep 1
fi

# A free display number for xtrace's proxy.
fake=77
while [ -e "/tmp/.X11-unix/X$fake" ]; do fake=$((fake + 1)); done
rm -f "$log"
xtrace --timestamps -n -d "$DISPLAY" -D ":$fake" -o "$log" -- wine "$program" "$@" </dev/null >/dev/null 2>&1 &
tracer=$!
sleep $((settle + seconds + 1))
# The program's own Linux process in this prefix; xtrace ends once it has gone.
name=$(basename "$program")
for pid in $(pgrep -f "$name" || true); do
  tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && kill "$pid" 2>/dev/null || true
done
wait "$tracer" 2>/dev/null || true

python3 - "$log" "$settle" "$seconds" <<'PY'
import collections, re, sys

log, settle, seconds = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
line_re = re.compile(r'^(\d+\.\d+) \d+:([<>]):')
image_re = re.compile(r'drawable=(0x[0-9a-f]+).*total-width=(\d+) total-height=(\d+) src-x=(\d+) src-y=(\d+) '
                      r'src-width=(\d+) src-height=(\d+)')
count = collections.Counter()
argb = set()  # windows of depth 32: the layered windows' X windows
start = None
for line in open(log, errors='replace'):
    m = line_re.match(line)
    if not m:
        continue
    t = float(m.group(1))
    start = t if start is None else start
    if 'Request(1): CreateWindow depth=0x20' in line:
        argb.add(re.search(r'window=(0x[0-9a-f]+)', line).group(1))
    if not settle <= t - start < settle + seconds:
        continue
    if m.group(2) == '>':
        if 'Event Expose(12)' in line and re.search(r'window=(0x[0-9a-f]+)', line).group(1) in argb:
            count['Expose events on layered windows'] += 1
        continue
    count['requests'] += 1
    if 'SHAPE-Request(129,1)' in line and 'operation=Set' in line:
        count['window shapes set'] += 1
        count['shape rectangles'] += line.count('{x=')
    elif 'MIT-SHM-Request(130,3)' in line or 'Request(72): PutImage' in line:
        i = image_re.search(line)
        if i and i.group(1) in argb:
            count['images of layered windows'] += 1
            if i.group(4) == '0' and i.group(5) == '0' and i.group(2) == i.group(6):
                count['uploads (whole-window images)'] += 1
    elif 'Request(12): ConfigureWindow' in line:
        count['window moves and sizes'] += 1
    elif 'Request(18): ChangeProperty' in line:
        count['property changes'] += 1
    elif 'Request(38): QueryPointer' in line:
        count['pointer queries'] += 1

print(f"X requests from {settle:g} s to {settle + seconds:g} s after the start, per second:")
for key in ['requests', 'uploads (whole-window images)', 'window shapes set', 'images of layered windows',
            'Expose events on layered windows', 'window moves and sizes', 'property changes', 'pointer queries']:
    print(f"  {key:34s} {count[key] / seconds:8.1f}")
uploads = count['uploads (whole-window images)']
if uploads:
    print("per upload:")
    print(f"  window shapes set                  {count['window shapes set'] / uploads:8.2f}")
    print(f"  images of layered windows          {count['images of layered windows'] / uploads:8.2f}")
    print(f"  Expose events on layered windows   {count['Expose events on layered windows'] / uploads:8.2f}")
    if count['window shapes set']:
        print(f"  rectangles in a shape              {count['shape rectangles'] / count['window shapes set']:8.0f}")
PY
