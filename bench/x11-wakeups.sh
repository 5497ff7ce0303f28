#!/usr/bin/env bash
# Whether gnatter's resting flies cost nothing between their movements: on a private Xvfb
# with the pointer still, it follows the program's wake-ups with strace over a quiet window
# (every poll() it sleeps in, and what it sends the X server after each) and sorts them:
#   frame        the loop's 60 a second while some fly moves (a wait of a frame or less)
#   rest's end   a longer wait (every fly at rest) that ran out: the next change is due
#   event        the X connection or a signal woke it before its deadline
# and, for each kind, how many were followed by no request at all: wake-ups that changed
# nothing on the screen. Without GNATTER_WINDOW_COUNTS (whose log wakes it every second).
#
#   bench/x11-wakeups.sh [--compositing] [FLIES [SIZE]]   default: 50 flies of 36 px
#   GNATTER_WAKE_SETTLE=40   seconds before following it
#   GNATTER_WAKE_SECONDS=20  seconds followed
#   GNATTER_WAKE_SEED=1      the flies' seed
#   GNATTER_WAKE_CPU=0       the CPU the display and the program run on
#   GNATTER_BENCH_EXE=PATH   another gnatter (default build/native/bin/gnatter)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
compositing=false
if [ "${1:-}" = --compositing ]; then compositing=true; shift; fi
flies=${1:-50}
size=${2:-36}
exe=${GNATTER_BENCH_EXE:-$root/build/native/bin/gnatter}
[ -x "$exe" ] || { echo "x11-wakeups: gnatter is not built (cmake --preset native && cmake --build --preset native)" >&2; exit 2; }
for tool in Xvfb strace python3 taskset; do
  command -v "$tool" >/dev/null || { echo "x11-wakeups: $tool is missing (Debian packages xvfb, strace, python3)" >&2; exit 2; }
done
settle=${GNATTER_WAKE_SETTLE:-40}
seconds=${GNATTER_WAKE_SECONDS:-20}
seed=${GNATTER_WAKE_SEED:-1}
cpu=${GNATTER_WAKE_CPU:-0}
log=$(mktemp)
displayfile=$(mktemp)

xvfb="" compositor="" program=""
finish() {
  if [ -n "$program" ]; then
    kill -TERM "$program" 2>/dev/null || true
    sleep 0.2
    kill -TERM "$program" 2>/dev/null || true
  fi
  [ -z "$compositor" ] || kill "$compositor" 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -f "$log" "$displayfile"
}
trap finish EXIT

taskset -c "$cpu" Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp -noreset 5>"$displayfile" \
  </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
[ -s "$displayfile" ] || { echo "x11-wakeups: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$displayfile")"
unset GNATTER_WINDOW_COUNTS
! command -v hsetroot >/dev/null || hsetroot -solid '#3c4f63' >/dev/null 2>&1 || true
if $compositing; then
  setsid taskset -c "$cpu" xcompmgr </dev/null >/dev/null 2>&1 &
  compositor=$!
  sleep 1
fi

taskset -c "$cpu" "$exe" -n "$flies" -t 0 -s "$size" --seed "$seed" </dev/null >/dev/null 2>&1 &
program=$!
sleep "$settle"
# Attached for the window only; -ttt times each call, -T its length.
timeout -s INT "$seconds" strace -q -ttt -T -p "$program" -e trace=poll,ppoll,writev,sendmsg,write \
  -o "$log" 2>/dev/null || true

echo "gnatter -n $flies -s $size --seed $seed on a $($compositing && echo compositing || echo plain) desktop," \
     "$seconds s from $settle s after the start:"
python3 - "$log" "$seconds" <<'PY'
import collections, re, sys

log, seconds = sys.argv[1], float(sys.argv[2])
poll_re = re.compile(r'^(\d+\.\d+) poll\(\[.*\], \d+, (-?\d+)\)\s+= (\d+)')
send_re = re.compile(r'^(\d+\.\d+) (writev|sendmsg)\(')
wakes = collections.Counter()
idle = collections.Counter()
slept = collections.Counter()
current = None  # the kind of the wake-up being followed, and whether it sent anything
sent = False
for line in open(log, errors='replace'):
    m = poll_re.match(line)
    # xcb's own wait to write (POLLOUT) is part of sending, not a sleep of the loop.
    if m and 'POLLOUT' not in line:
        if current is not None:
            wakes[current] += 1
            if not sent: idle[current] += 1
        timeout, ready = int(m.group(2)), int(m.group(3))
        length = re.search(r'<(\d+\.\d+)>\s*$', line)
        if length: slept['all'] += float(length.group(1))
        if ready > 0:
            current = 'event'
        elif 0 <= timeout <= 17:
            current = 'frame'
        else:
            current = "rest's end"
        if timeout > 17 and length: slept['in long waits'] += float(length.group(1))
        sent = False
        continue
    if send_re.match(line):
        sent = True
total = sum(wakes.values())
print(f"  wake-ups a second {total / seconds:8.2f}, of which changed nothing on screen {sum(idle.values()) / seconds:6.2f}")
for kind in ['frame', "rest's end", 'event']:
    print(f"    {kind:12s} {wakes[kind] / seconds:8.2f} a second, {idle[kind] / seconds:6.2f} of them sending nothing")
print(f"  time asleep in waits longer than a frame (every fly at rest): {100 * slept['in long waits'] / seconds:.0f} %")
PY
