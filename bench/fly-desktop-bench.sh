#!/usr/bin/env bash
# What the fly program costs on a running desktop once its flies have landed: CPU time
# (as % of one core) of gnatter.exe's Wine process, the X server, the wineserver and, on
# the compositing desktop, the compositor; and gnatter.exe's peak memory. Each case runs
# GNATTER_BENCH_RUNS times, interleaved with window_load.exe, a minimal program that does
# the same window work in the same session (as many windows, moved and given a picture
# as often per second as gnatter.exe's flies were in the same measuring window of the run
# just before, one fixed fly picture, no simulation). gnatter.exe counts that itself when
# GNATTER_WINDOW_COUNTS names a file; each run of real-time flies goes its own way, so an
# estimate from the seeded simulation (fly_ethogram) is only the fallback. It prints
# min / median / max of each, and the floor ratio: how many times what the minimal program
# costs gnatter.exe costs, run by run. The minimal program runs a second time with
# `--poses`: the same work, but each upload shows the other frame of a grooming stroke, so
# that the window system gets the changing outline a fly's new picture has (under Wine
# that costs more than a fixed picture, see bench/picture-cost.md); the second ratio is
# gnatter.exe's total over that. The last lines are the table for docs/benchmarks.md.
#
# Two desktops: "plain" (Xvfb alone, as the tests run) and "compositing" (xcompmgr on the
# same display, as Windows always composites). The compositor comes from
# `scripts/wine-session.sh compositor STATE_DIR on|off` where the script has that
# command, else the bench starts xcompmgr on the session's display itself.
#
# Everything measured is pinned to one CPU: on a 2-core machine the same work, left to
# wander between cores, measures two to three times apart from run to run. The one-fly
# case uses a seed whose fly walks and grooms in the measuring window (seed 1's fly sits
# still through it and would measure nothing but the idle loop).
# Builds nothing: give it a Windows build folder (default build/windows).
#
#   bench/fly-desktop-bench.sh [BUILD_DIR]
#   GNATTER_BENCH_SECONDS=20     length of each measuring window
#   GNATTER_BENCH_SETTLE=40      seconds after start before measuring: the flies arrive,
#                                land and groom in a burst for the first half minute, then
#                                settle into their long-run pace
#   GNATTER_BENCH_RUNS=3         runs of each program per case
#   GNATTER_BENCH_DESKTOPS="plain compositing"   the desktops to measure
#   GNATTER_BENCH_CASES="1:36 10:36 50:36 50:54" flies:pixels of each case
#   GNATTER_BENCH_CPU=1          the CPU everything measured runs on
#   GNATTER_BENCH_EXE=PATH       another gnatter.exe to measure (e.g. an older build)
#   GNATTER_BENCH_NUDGE=1        after each start, one mouse event that moves nothing
#                                (mouse_nudge.exe), as a user's hand on the mouse gives:
#                                gnatter.exe then knows the system reports mouse input and
#                                reads the parked pointer once a second, not ten times (0:
#                                no event, as under Wine while the pointer is over other X
#                                programs, where moves go unreported)
#   GNATTER_ETHOGRAM=PATH        the native fly_ethogram tool that tells the window moves
#                                and picture changes per fly per second (default: looked
#                                for in build/native/bin)
#   GNATTER_BENCH_LOAD="M U"     moves and uploads per window per second for the minimal
#                                program when there is no fly_ethogram
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}
build=$(cd "$build" && pwd)
exe=${GNATTER_BENCH_EXE:-$build/bin/gnatter.exe}
baseline="$build/bin/window_load.exe"
nudge="$build/bin/mouse_nudge.exe"
for file in "$exe" "$baseline" "$nudge"; do
  [ -f "$file" ] || { echo "fly-desktop-bench: $file is missing; build the Windows preset first" >&2; exit 2; }
done
seconds=${GNATTER_BENCH_SECONDS:-20}
settle=${GNATTER_BENCH_SETTLE:-40}
runs=${GNATTER_BENCH_RUNS:-3}
desktops=${GNATTER_BENCH_DESKTOPS:-plain compositing}
cases=${GNATTER_BENCH_CASES:-1:36 10:36 50:36 50:54}
cpu=${GNATTER_BENCH_CPU:-1}
nudge_mouse=${GNATTER_BENCH_NUDGE:-1}
ethogram=${GNATTER_ETHOGRAM:-$root/build/native/bin/fly_ethogram}
work=1280x800  # the headless session's screen (scripts/wine-session.sh), all of it work area
one_fly_seed=4  # its fly walks, turns and grooms 40 to 60 s after the start
state=${GNATTER_WINE_STATE:-$build/wine}  # as scripts/wine-run.sh picks it
command -v taskset >/dev/null || { echo "fly-desktop-bench: taskset (util-linux) is missing" >&2; exit 2; }
for desktop in $desktops; do
  case $desktop in
    plain | compositing) ;;
    *) echo "fly-desktop-bench: unknown desktop '$desktop' (plain, compositing)" >&2; exit 2 ;;
  esac
done
for c in $cases; do
  [[ $c =~ ^[0-9]+:[0-9]+$ ]] || { echo "fly-desktop-bench: a case is FLIES:PIXELS, not '$c'" >&2; exit 2; }
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "fly-desktop-bench: GNATTER_BENCH_RUNS must be 1 or more" >&2; exit 2; }

# Leave a session that was already up (for instance the tests') running afterwards.
was_up=false
if [ -s "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then was_up=true; fi
"$root/scripts/wine-session.sh" start "$state"
eval "$("$root/scripts/wine-session.sh" env "$state")"
clock_ticks=$(getconf CLK_TCK)
results=$(mktemp)
# gnatter.exe's own window counts of its current run (the minimal program ignores them)
counts=$(mktemp)
export GNATTER_WINDOW_COUNTS="Z:${counts//\//\\}"

# utime + stime of a process, in clock ticks (fields 14 and 15; the name may hold spaces).
cpu_ticks() {
  local stat
  [ -n "$1" ] || { echo 0; return; }
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || { echo 0; return; }
  stat=${stat##*) }
  set -- $stat
  echo $(( ${12} + ${13} ))
}

in_our_prefix() { tr '\0' '\n' 2>/dev/null <"/proc/$1/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; }

wineserver_pid() {
  local pid
  for pid in $(pgrep -x 'wineserver(64)?' || true); do
    in_our_prefix "$pid" && { echo "$pid"; return; }
  done
}

# The Linux process that runs a Windows program (by its file name) in our prefix, not
# a `wine gnatter.exe --stop`.
program_pid() {
  local pid
  for pid in $(pgrep -f "$1" || true); do
    in_our_prefix "$pid" || continue
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q -- '--stop' && continue
    echo "$pid"
    return
  done
}

wait_until() {  # wait_until SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds
  local deadline=$(( $(date +%s) + $1 ))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

xvfb=$(cat "$state/xvfb.pid")
server=$(wineserver_pid)
[ -n "$server" ] || { echo "fly-desktop-bench: no wineserver runs for $WINEPREFIX" >&2; exit 1; }
xvfb_mask=$(taskset -p "$xvfb" | awk '{print $NF}')
server_mask=$(taskset -p "$server" | awk '{print $NF}')

# ---- the compositor ----

compositor=""      # its pid while one runs
compositor_own=false  # started by this script rather than by wine-session.sh

compositor_on() {
  if "$root/scripts/wine-session.sh" compositor "$state" on >/dev/null 2>&1 && [ -s "$state/compositor.pid" ]; then
    compositor=$(cat "$state/compositor.pid")
  else
    command -v xcompmgr >/dev/null ||
      { echo "fly-desktop-bench: xcompmgr is missing for the compositing desktop" >&2; exit 2; }
    setsid xcompmgr </dev/null >/dev/null 2>&1 &
    compositor=$!
    compositor_own=true
  fi
  sleep 1
  kill -0 "$compositor" 2>/dev/null || { echo "fly-desktop-bench: the compositor did not start" >&2; exit 1; }
  taskset -apc "$cpu" "$compositor" >/dev/null
}

compositor_off() {
  [ -n "$compositor" ] || return 0
  if $compositor_own; then
    kill "$compositor" 2>/dev/null || true
  else
    "$root/scripts/wine-session.sh" compositor "$state" off >/dev/null 2>&1 || true
  fi
  compositor=""
  compositor_own=false
}

stop_programs() {
  wine "$exe" --stop </dev/null >/dev/null 2>&1 || true
  local pid
  pid=$(program_pid 'window_load\.exe')
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
}
finish() {
  stop_programs
  compositor_off
  taskset -ap "$xvfb_mask" "$xvfb" >/dev/null 2>&1 || true
  taskset -ap "$server_mask" "$server" >/dev/null 2>&1 || true
  $was_up || "$root/scripts/wine-session.sh" stop "$state" >/dev/null 2>&1 || true
  rm -f "$results" "$counts"
}
trap finish EXIT
taskset -apc "$cpu" "$xvfb" >/dev/null
taskset -apc "$cpu" "$server" >/dev/null

found_pid=""
started() { found_pid=$(program_pid "$1"); [ -n "$found_pid" ]; }
ended() { [ -z "$(program_pid "$1")" ]; }

# percent TICKS WALL: the ticks as % of one core over WALL seconds
percent() { awk -v t="$1" -v hz="$clock_ticks" -v wall="$2" 'BEGIN { printf "%.2f", 100 * t / hz / wall }'; }

# measure PATTERN PROGRAM ARGS...: runs the program pinned, lets it settle, and prints
# "total% program% xvfb% wineserver% compositor% peakKB" for the measuring window.
measure() {
  local pattern=$1
  shift
  stop_programs
  wait_until 30 ended "$pattern" || { echo "fly-desktop-bench: an earlier $pattern does not end" >&2; exit 1; }
  taskset -c "$cpu" wine "$@" </dev/null >/dev/null 2>&1 &
  wait_until 30 started "$pattern" || { echo "fly-desktop-bench: $pattern did not start" >&2; exit 1; }
  local pid=$found_pid
  if [ "$nudge_mouse" = 1 ]; then
    sleep 2  # the program has opened its window and is listening
    wine "$nudge" </dev/null >/dev/null 2>&1 || echo "fly-desktop-bench: mouse_nudge.exe failed" >&2
    sleep $((settle > 2 ? settle - 2 : 0))
  else
    sleep "$settle"  # not synchronisation: arrival and start-up costs stay out of the measurement
  fi

  local g0 x0 s0 c0 g1 x1 s1 c1 t0 t1 peak wall
  g0=$(cpu_ticks "$pid"); x0=$(cpu_ticks "$xvfb"); s0=$(cpu_ticks "$server"); c0=$(cpu_ticks "$compositor")
  t0=$(date +%s.%N)
  sleep "$seconds"  # the measuring window
  t1=$(date +%s.%N)
  g1=$(cpu_ticks "$pid"); x1=$(cpu_ticks "$xvfb"); s1=$(cpu_ticks "$server"); c1=$(cpu_ticks "$compositor")
  peak=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")
  stop_programs
  wait_until 30 ended "$pattern" || echo "fly-desktop-bench: $pattern did not end" >&2
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  echo "$(percent $((g1 - g0 + x1 - x0 + s1 - s0 + c1 - c0)) "$wall") $(percent $((g1 - g0)) "$wall")" \
       "$(percent $((x1 - x0)) "$wall") $(percent $((s1 - s0)) "$wall") $(percent $((c1 - c0)) "$wall") ${peak:-0} $t0 $t1"
}

# counted_pace FLIES T0 T1: "MOVES UPLOADS" per fly per second that gnatter.exe itself
# counted between the two times (its counts file has a line a second: time, moves and
# new pictures so far; the counts are interpolated to T0 and T1), or nothing.
counted_pace() {
  [ -s "$counts" ] || return 0
  awk -v n="$1" -v t0="$2" -v t1="$3" '
    function at(t, col,   i) {
      if (t <= T[1]) return C[col, 1]
      for (i = 2; i <= k; i++) if (T[i] >= t) return C[col, i - 1] + (C[col, i] - C[col, i - 1]) * (t - T[i - 1]) / (T[i] - T[i - 1])
      return -1
    }
    NF == 3 && $1 > T[k] { k++; T[k] = $1; C[1, k] = $2; C[2, k] = $3 }
    END {
      if (k < 2 || n <= 0) exit
      m0 = at(t0, 1); m1 = at(t1, 1); u0 = at(t0, 2); u1 = at(t1, 2)
      if (m0 < 0 || m1 < 0 || u0 < 0 || u1 < 0) exit
      printf "%.2f %.2f", (m1 - m0) / (t1 - t0) / n, (u1 - u0) / (t1 - t0) / n
    }' "$counts"
}

# idle DESKTOP: the session (and compositor) with none of our programs running, the
# floor under every figure above it.
idle() {
  stop_programs
  wait_until 30 ended 'gnatter\.exe' || true
  sleep 2
  local x0 s0 c0 x1 s1 c1 t0 t1 wall
  x0=$(cpu_ticks "$xvfb"); s0=$(cpu_ticks "$server"); c0=$(cpu_ticks "$compositor"); t0=$(date +%s.%N)
  sleep "$seconds"
  x1=$(cpu_ticks "$xvfb"); s1=$(cpu_ticks "$server"); c1=$(cpu_ticks "$compositor"); t1=$(date +%s.%N)
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  printf '%-12s idle session: %s%% (X %s%%, wineserver %s%%, compositor %s%%)\n' "$1" \
    "$(percent $((x1 - x0 + s1 - s0 + c1 - c0)) "$wall")" "$(percent $((x1 - x0)) "$wall")" \
    "$(percent $((s1 - s0)) "$wall")" "$(percent $((c1 - c0)) "$wall")"
}

# load COUNT SIZE: the fallback pace, for a gnatter.exe that does not count its windows.
# "MOVES UPLOADS SOURCE" per fly per second, from the ethogram's row
# "Window moves + picture changes per fly per second | T (MOVES + CHANGES)". Several flies:
# the pace of the measuring window itself (from `settle` to `settle + seconds`), the
# difference of two seeded runs that share their beginning, since a new fly explores for
# its first half minute or so and the pace of the first minutes is not the long-run one.
# One fly does too little in one window to give a pace: its ten-minute average over twenty
# runs.
ethogram_pair() {  # ethogram_pair COUNT SIZE SECONDS [OPTIONS...]: "MOVES UPLOADS"
  "$ethogram" --flies "$1" --size "$2" --seed 1 --work "$work" --seconds "$3" "${@:4}" 2>/dev/null |
    sed -nE 's/^\| Window moves \+ picture changes per fly per second \| [0-9.]+ \(([0-9.]+) \+ ([0-9.]+)\).*/\1 \2/p' || true
}
load() {
  if [ -x "$ethogram" ]; then
    local pair before after end=$((settle + seconds))
    if [ "$1" = 1 ]; then
      pair=$(ethogram_pair 1 "$2" 600 --runs 20)
    else
      before=$(ethogram_pair "$1" "$2" "$settle")
      after=$(ethogram_pair "$1" "$2" "$end")
      [ -z "$before" ] || [ -z "$after" ] ||
        pair=$(awk -v b="$before" -v a="$after" -v t0="$settle" -v t1="$end" 'BEGIN {
          split(b, x, " "); split(a, y, " ")
          printf "%.2f %.2f", (y[1] * t1 - x[1] * t0) / (t1 - t0), (y[2] * t1 - x[2] * t0) / (t1 - t0) }')
    fi
    if [ -n "$pair" ]; then echo "$pair fly_ethogram"; return; fi
    echo "fly-desktop-bench: could not read moves and picture changes from $ethogram" >&2
  fi
  if [ -n "${GNATTER_BENCH_LOAD:-}" ]; then echo "$GNATTER_BENCH_LOAD GNATTER_BENCH_LOAD"; else echo "1 1 default"; fi
}

target_total() {  # the CPU target of a case on the plain desktop, or "-"
  case $1 in
    1:*) echo 1 ;;
    50:54) echo 15 ;;
    *) echo - ;;
  esac
}
target_ratio() {  # the floor-ratio target of a case on the plain desktop, or "-"
  case $1 in
    1:*) echo - ;;
    *) echo 1.2 ;;
  esac
}

ratio_of() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }  # A / B, 0 when B is 0

# run_case DESKTOP FLIES:PIXELS: RUNS interleaved triples; one line per run to $results:
# "desktop case run total program xvfb server compositor peak minimal_total ratio
#  changing_total changing_ratio"
run_case() {
  local desktop=$1 c=$2 count=${2%%:*} size=${2##*:}
  local seed=1 moves uploads source run fly base
  [ "$count" != 1 ] || seed=$one_fly_seed
  read -r moves uploads source <<<"$(load "$count" "$size")"
  local label="$count flies, $size px"
  [ "$count" != 1 ] || label="1 fly, $size px (seed $seed)"
  printf '%-12s %-22s (estimated pace: %s moves, %s uploads per window per second, from %s)\n' "$desktop" \
    "$label" "$moves" "$uploads" "$source"
  for run in $(seq 1 "$runs"); do
    : >"$counts"
    fly=$(measure 'gnatter\.exe' "$exe" -n "$count" -t 0 -s "$size" --seed "$seed")
    read -r total program x s comp peak t0 t1 <<<"$fly"
    # The minimal program's pace: what this very run of the flies did in the window, when
    # gnatter.exe counted it (each run of real flies goes its own way), else the estimate.
    local counted pace_moves=$moves pace_uploads=$uploads pace_from="estimate"
    counted=$(counted_pace "$count" "$t0" "$t1")
    [ -z "$counted" ] || { read -r pace_moves pace_uploads <<<"$counted"; pace_from="counted"; }
    base=$(measure 'window_load\.exe' "$baseline" "$count" "$size" "$pace_moves" "$pace_uploads")
    poses=$(measure 'window_load\.exe' "$baseline" --poses "$count" "$size" "$pace_moves" "$pace_uploads")
    local bprogram bx bs ptotal
    read -r btotal bprogram bx bs _ <<<"$base"
    read -r ptotal _ <<<"$poses"
    local ratio pratio
    ratio=$(ratio_of "$total" "$btotal")
    pratio=$(ratio_of "$total" "$ptotal")
    printf '%-12s   run %d: gnatter %6s%% (program %s%%, X %s%%, wineserver %s%%, compositor %s%%, peak %s KB);' \
      "$desktop" "$run" "$total" "$program" "$x" "$s" "$comp" "$peak"
    printf ' minimal %s%% (program %s%%, X %s%%, wineserver %s%%), ratio %s; changing pictures %s%%, ratio %s (pace %s moves, %s uploads, %s)\n' \
      "$btotal" "$bprogram" "$bx" "$bs" "$ratio" "$ptotal" "$pratio" "$pace_moves" "$pace_uploads" "$pace_from"
    echo "$desktop $c $run $total $program $x $s $comp $peak $btotal $ratio $ptotal $pratio" >>"$results"
  done
}

nudged="one mouse event after each start"
[ "$nudge_mouse" = 1 ] || nudged="no mouse event"
echo "Measuring ${seconds} s per run after ${settle} s to settle ($nudged), $runs runs a case, on CPU $cpu, in $state"
echo
for desktop in $desktops; do
  if [ "$desktop" = compositing ]; then compositor_on; fi
  idle "$desktop"
  for c in $cases; do run_case "$desktop" "$c"; done
  compositor_off
  echo
done

# The summary: min / median / max over the runs of each case.
echo "For docs/benchmarks.md (CPU as % of one core, median of $runs runs with min-max; ratio: gnatter.exe's total"
echo "over the minimal program's, run by run):"
echo
echo "| desktop | case | gnatter.exe, X server, wineserver (and compositor) | minimal program, same window work | floor ratio | target | minimal program, changing pictures | ratio to it |"
echo "|---|---|---|---|---|---|---|---|"
for desktop in $desktops; do
  for c in $cases; do
    awk -v desktop="$desktop" -v c="$c" -v tt="$(target_total "$c")" -v tr="$(target_ratio "$c")" '
      function sort(a, n,   i, j, t) { for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t } }
      function median(a, n) { return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
      $1 == desktop && $2 == c { n++; g[n] = $4; b[n] = $10; r[n] = $11; p[n] = $12; q[n] = $13 }
      END {
        if (n == 0) exit
        sort(g, n); sort(b, n); sort(r, n); sort(p, n); sort(q, n)
        split(c, fs, ":")
        label = fs[1] == 1 ? "1 fly" : fs[1] " flies"
        label = label ", " fs[2] " px"
        target = ""
        if (desktop == "plain" && tt != "-") target = "total <= " tt " %" (median(g, n) <= tt ? " (met)" : " (MISSED)")
        if (desktop == "plain" && tr != "-") target = target (target != "" ? "; " : "") "ratio <= " tr (median(r, n) <= tr ? " (met)" : " (MISSED)")
        if (target == "") target = "-"
        printf "| %s | %s | %.2f %% (%.2f-%.2f) | %.2f %% (%.2f-%.2f) | %.2f (%.2f-%.2f) | %s | %.2f %% (%.2f-%.2f) | %.2f (%.2f-%.2f) |\n",
               desktop, label, median(g, n), g[1], g[n], median(b, n), b[1], b[n], median(r, n), r[1], r[n], target,
               median(p, n), p[1], p[n], median(q, n), q[1], q[n]
      }' "$results"
  done
done

# Memory: what each fly beyond the first adds to gnatter.exe's peak, plain desktop.
peak_of() { awk -v c="$1" '$1 == "plain" && $2 == c { print $9; exit }' "$results"; }
peak1=$(peak_of 1:36); peak50=$(peak_of 50:54)
if [ -n "$peak1" ] && [ -n "$peak50" ]; then
  per_fly=$(( (peak50 - peak1) / 49 ))
  printf '\nmemory per fly beyond the first (50 flies at 54 px against 1 at 36 px): %d KB (target < 100 KB: %s)\n' \
    "$per_fly" "$(awk -v v="$per_fly" 'BEGIN { print (v < 100) ? "met" : "MISSED" }')"
fi
