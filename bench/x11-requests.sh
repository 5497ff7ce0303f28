#!/usr/bin/env bash
# Counts the X requests gnatter (or the floor program, x11_window_load) makes, through
# xtrace, on a private Xvfb with or without xcompmgr, and sorts its window work out of them:
# what a move, a new picture already on the server (cached) and a new picture uploaded for
# the first time cost in requests and bytes, and what comes back as events. See
# bench/x11-requests.md for what the figures mean.
#
#   bench/x11-requests.sh [--compositing] [PROGRAM ARGS...]
#     PROGRAM defaults to build/native/bin/gnatter -n 50 -t 0 -s 36 --seed 1
#   GNATTER_XREQ_SETTLE=40   seconds before counting (flies arrive in a burst first)
#   GNATTER_XREQ_SECONDS=20  seconds counted
#   GNATTER_XREQ_CPU=0       the CPU the display and the program run on
#   GNATTER_XREQ_LOG=FILE    keep xtrace's log there
#
# For example, the floor program at the pace the flies had:
#   bench/x11-requests.sh build/native/bin/x11_window_load 50 36 0.8 0.7
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
compositing=false
if [ "${1:-}" = --compositing ]; then compositing=true; shift; fi
if [ $# -eq 0 ]; then set -- "$root/build/native/bin/gnatter" -n 50 -t 0 -s 36 --seed 1; fi
[ -x "$1" ] || { echo "x11-requests: $1 is not built (cmake --preset native && cmake --build --preset native)" >&2; exit 2; }
for tool in Xvfb xtrace python3 taskset; do
  command -v "$tool" >/dev/null || { echo "x11-requests: $tool is missing (Debian packages xvfb, xtrace, python3)" >&2; exit 2; }
done
if $compositing; then command -v xcompmgr >/dev/null || { echo "x11-requests: xcompmgr is missing" >&2; exit 2; }; fi
settle=${GNATTER_XREQ_SETTLE:-40}
seconds=${GNATTER_XREQ_SECONDS:-20}
cpu=${GNATTER_XREQ_CPU:-0}
log=${GNATTER_XREQ_LOG:-$(mktemp)}
displayfile=$(mktemp)

xvfb="" compositor="" tracer=""
finish() {
  [ -z "$tracer" ] || kill "$tracer" 2>/dev/null || true
  [ -z "$compositor" ] || kill "$compositor" 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -f "$displayfile"
  [ -n "${GNATTER_XREQ_LOG:-}" ] || rm -f "$log"
}
trap finish EXIT

taskset -c "$cpu" Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp -noreset 5>"$displayfile" \
  </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
[ -s "$displayfile" ] || { echo "x11-requests: Xvfb did not start" >&2; exit 1; }
display=":$(head -n 1 "$displayfile")"
export DISPLAY=$display
! command -v hsetroot >/dev/null || hsetroot -solid '#3c4f63' >/dev/null 2>&1 || true
if $compositing; then
  setsid taskset -c "$cpu" xcompmgr </dev/null >/dev/null 2>&1 &
  compositor=$!
  sleep 1
fi

# A free display number for xtrace's proxy.
fake=77
while [ -e "/tmp/.X11-unix/X$fake" ]; do fake=$((fake + 1)); done
rm -f "$log"
taskset -c "$cpu" xtrace --timestamps -n -d "$display" -D ":$fake" -o "$log" -- "$@" </dev/null >/dev/null 2>&1 &
tracer=$!
sleep $((settle + seconds + 1))
# The program is xtrace's child; gnatter takes a second signal as the order to end at once.
for pid in $(pgrep -P "$tracer" || true); do kill -TERM "$pid" 2>/dev/null || true; done
sleep 0.2
for pid in $(pgrep -P "$tracer" || true); do kill -TERM "$pid" 2>/dev/null || true; done
wait "$tracer" 2>/dev/null || true
tracer=""

echo "$* on a $($compositing && echo compositing || echo plain) desktop:"
python3 - "$log" "$settle" "$seconds" <<'PY'
import collections, re, sys

log, settle, seconds = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
# "TIME CONN:<:SEQ: LENGTH: Request(N): Name args" from the client, "TIME CONN:>:..." to it.
request_re = re.compile(r'^(\d+\.\d+) \d+:<:[0-9a-f]+:\s*(\d+): (?:[\w-]*-)?Request\([\d,]+\): (\w+)(.*)$')
event_re = re.compile(r'^(\d+\.\d+) \d+:>:[0-9a-f]+:()\s*Event (?:[\w-]*-)?(\w+)')
reply_re = re.compile(r'^(\d+\.\d+) \d+:>:[0-9a-f]+:\s*(\d+): Reply to (\w+)')
window_re = re.compile(r'(?:window|destination-window)=(0x[0-9a-f]+)')

start = None
requests = collections.Counter()   # name -> count in the window
request_bytes = collections.Counter()
events = collections.Counter()
replies = collections.Counter()
created = {}       # pixmap -> time it was made
shown = set()      # pixmaps shown as a background before
# Window work: a group is what one window got in one burst (the same flush), from the
# first request about it to the ClearArea that paints it, or a lone ConfigureWindow.
open_group = {}    # window -> [kinds, bytes, time]
groups = collections.Counter()
group_requests = collections.Counter()
group_bytes = collections.Counter()
upload_requests = 0
upload_bytes = 0
pending_upload = [0, 0]  # requests and bytes of pixmaps made since the last picture shown

def close(window):
    kinds, n, size, t = open_group.pop(window)
    if 'background' in kinds:
        kind = 'new picture, first upload' if 'upload' in kinds else 'new picture, cached'
        if 'size' in kinds: kind += ', with a move'
    elif 'place' in kinds:
        kind = 'move'
    else:
        kind = 'other'
    if settle <= t - start < settle + seconds:
        groups[kind] += 1
        group_requests[kind] += n
        group_bytes[kind] += size

for line in open(log, errors='replace'):
    m = request_re.match(line)
    if m is None:
        e = event_re.match(line)
        if e and start is not None and settle <= float(e.group(1)) - start < settle + seconds:
            events[e.group(3)] += 1
        r = reply_re.match(line)
        if r and start is not None and settle <= float(r.group(1)) - start < settle + seconds:
            replies[r.group(3)] += 1
        continue
    t, size, name, args = float(m.group(1)), int(m.group(2)), m.group(3), m.group(4)
    start = t if start is None else start
    inside = settle <= t - start < settle + seconds
    if inside:
        requests[name] += 1
        request_bytes[name] += size
    if name in ('CreatePixmap', 'PutImage'):
        pending_upload[0] += 1
        pending_upload[1] += size
        continue
    w = window_re.search(args)
    window = w.group(1) if w else None
    if name == 'ConfigureWindow' and window:
        if 'width=' in args:
            # A new place and size: the first request of a new picture.
            if window in open_group: close(window)
            open_group[window] = [{'size'}, 1, size, t]
        elif 'x=' in args:
            if window in open_group: close(window)
            open_group[window] = [{'place'}, 1, size, t]
            close(window)
        continue
    if name == 'ChangeWindowAttributes' and window and 'background-pixmap=' in args:
        group = open_group.setdefault(window, [set(), 0, 0, t])
        group[0].add('background')
        group[1] += 1
        group[2] += size
        if pending_upload[0]:
            group[0].add('upload')
            group[1] += pending_upload[0]
            group[2] += pending_upload[1]
            pending_upload[:] = [0, 0]
        continue
    if name in ('Mask', 'ClearArea') and window in open_group:
        group = open_group[window]
        group[1] += 1
        group[2] += size
        if name == 'ClearArea': close(window)
        continue

print(f"from {settle:g} s to {settle + seconds:g} s after the start, per second:")
total = sum(requests.values())
print(f"  {'requests':44s} {total / seconds:8.1f}  ({sum(request_bytes.values()) / seconds / 1024:.1f} KB)")
for name, n in requests.most_common():
    print(f"    {name:42s} {n / seconds:8.1f}  ({request_bytes[name] / n:.0f} bytes each)")
print(f"  {'events to the program':44s} {sum(events.values()) / seconds:8.1f}")
for name, n in events.most_common():
    print(f"    {name:42s} {n / seconds:8.1f}")
print(f"  {'replies (round trips)':44s} {sum(replies.values()) / seconds:8.1f}")
for name, n in replies.most_common():
    print(f"    {name:42s} {n / seconds:8.1f}")
print("window work, per second and what one costs:")
for kind in ['move', 'new picture, cached', 'new picture, cached, with a move', 'new picture, first upload',
             'new picture, first upload, with a move', 'other']:
    n = groups[kind]
    if n == 0: continue
    print(f"  {kind:44s} {n / seconds:8.1f}  {group_requests[kind] / n:5.2f} requests, {group_bytes[kind] / n:7.0f} bytes")
PY
