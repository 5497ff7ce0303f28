#!/usr/bin/env bash
# What the fly program costs on a running desktop once its flies have landed: CPU time
# (as % of one core) of gnatter.exe's Wine process, the X server and the wineserver, and
# gnatter.exe's peak memory, for one fly at the launcher's defaults and for 50 flies at
# 54 px. For each case it then runs window_load.exe, a minimal program that does the same
# window work (as many windows, moving and uploading their pictures as often as the flies
# do, showing one fixed fly picture, with no simulation), and prints how many times more
# gnatter.exe costs.
#
# The three processes are pinned to one CPU while measuring: on a 2-core machine the same
# work, left to wander between cores, measures two to three times apart from run to run.
# Builds nothing: give it a Windows build folder (default build/windows).
#
#   bench/fly-desktop-bench.sh [BUILD_DIR]
#   GNATTER_BENCH_SECONDS=20     length of each measuring window
#   GNATTER_BENCH_SETTLE=40      seconds after start before measuring: the flies arrive,
#                                land and groom in a burst for the first half minute, then
#                                settle into their long-run pace
#   GNATTER_BENCH_CPU=1          the CPU everything measured runs on
#   GNATTER_BENCH_EXE=PATH       another gnatter.exe to measure (e.g. an older build)
#   GNATTER_ETHOGRAM=PATH        the native fly_ethogram tool that tells the window moves
#                                and picture changes per fly per second (default: looked
#                                for in build/native/bin)
#   GNATTER_BENCH_LOAD_1="M U", GNATTER_BENCH_LOAD_50="M U"
#                                moves and uploads per window per second for the minimal
#                                program when there is no fly_ethogram
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}
build=$(cd "$build" && pwd)
exe=${GNATTER_BENCH_EXE:-$build/bin/gnatter.exe}
baseline="$build/bin/window_load.exe"
for file in "$exe" "$baseline"; do
  [ -f "$file" ] || { echo "fly-desktop-bench: $file is missing; build the Windows preset first" >&2; exit 2; }
done
seconds=${GNATTER_BENCH_SECONDS:-20}
settle=${GNATTER_BENCH_SETTLE:-40}
cpu=${GNATTER_BENCH_CPU:-1}
ethogram=${GNATTER_ETHOGRAM:-$root/build/native/bin/fly_ethogram}
work=1280x800  # the headless session's screen (scripts/wine-session.sh), all of it work area
state=${GNATTER_WINE_STATE:-$build/wine}  # as scripts/wine-run.sh picks it
command -v taskset >/dev/null || { echo "fly-desktop-bench: taskset (util-linux) is missing" >&2; exit 2; }

# Leave a session that was already up (for instance the tests') running afterwards.
was_up=false
if [ -s "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then was_up=true; fi
"$root/scripts/wine-session.sh" start "$state"
eval "$("$root/scripts/wine-session.sh" env "$state")"
clock_ticks=$(getconf CLK_TCK)

# utime + stime of a process, in clock ticks (fields 14 and 15; the name may hold spaces).
cpu_ticks() {
  local stat
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

stop_programs() {
  wine "$exe" --stop </dev/null >/dev/null 2>&1 || true
  local pid
  pid=$(program_pid 'window_load\.exe')
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
}
finish() {
  stop_programs
  taskset -ap "$xvfb_mask" "$xvfb" >/dev/null 2>&1 || true
  taskset -ap "$server_mask" "$server" >/dev/null 2>&1 || true
  $was_up || "$root/scripts/wine-session.sh" stop "$state" >/dev/null 2>&1 || true
}
trap finish EXIT
taskset -apc "$cpu" "$xvfb" >/dev/null
taskset -apc "$cpu" "$server" >/dev/null

found_pid=""
started() { found_pid=$(program_pid "$1"); [ -n "$found_pid" ]; }
ended() { [ -z "$(program_pid "$1")" ]; }

# measure PATTERN PROGRAM ARGS...: runs the program pinned, lets it settle, and prints
# "program% xvfb% wineserver% total% peakKB" for the measuring window.
measure() {
  local pattern=$1
  shift
  stop_programs
  wait_until 30 ended "$pattern" || { echo "fly-desktop-bench: an earlier $pattern does not end" >&2; exit 1; }
  taskset -c "$cpu" wine "$@" </dev/null >/dev/null 2>&1 &
  wait_until 30 started "$pattern" || { echo "fly-desktop-bench: $pattern did not start" >&2; exit 1; }
  local pid=$found_pid
  sleep "$settle"  # not synchronisation: arrival and start-up costs stay out of the measurement

  local g0 x0 s0 g1 x1 s1 t0 t1 peak
  g0=$(cpu_ticks "$pid"); x0=$(cpu_ticks "$xvfb"); s0=$(cpu_ticks "$server")
  t0=$(date +%s.%N)
  sleep "$seconds"  # the measuring window
  t1=$(date +%s.%N)
  g1=$(cpu_ticks "$pid"); x1=$(cpu_ticks "$xvfb"); s1=$(cpu_ticks "$server")
  peak=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")
  stop_programs
  wait_until 30 ended "$pattern" || echo "fly-desktop-bench: $pattern did not end" >&2

  awk -v g=$((g1 - g0)) -v x=$((x1 - x0)) -v s=$((s1 - s0)) -v hz="$clock_ticks" \
      -v t0="$t0" -v t1="$t1" -v peak="$peak" 'BEGIN {
    wall = t1 - t0
    printf "%.2f %.2f %.2f %.2f %d\n", 100*g/hz/wall, 100*x/hz/wall, 100*s/hz/wall, 100*(g+x+s)/hz/wall, peak
  }'
}

# idle: "xvfb% wineserver%" of the session with none of our programs running, the floor
# under every figure above it.
idle() {
  stop_programs
  wait_until 30 ended 'gnatter\.exe' || true
  sleep 2
  local x0 s0 x1 s1 t0 t1
  x0=$(cpu_ticks "$xvfb"); s0=$(cpu_ticks "$server"); t0=$(date +%s.%N)
  sleep "$seconds"
  x1=$(cpu_ticks "$xvfb"); s1=$(cpu_ticks "$server"); t1=$(date +%s.%N)
  awk -v x=$((x1 - x0)) -v s=$((s1 - s0)) -v hz="$clock_ticks" -v t0="$t0" -v t1="$t1" 'BEGIN {
    wall = t1 - t0
    printf "%-24s %9s  %7.2f%% %10.2f%% %7.2f%%\n", "idle session", "-", 100*x/hz/wall, 100*s/hz/wall, 100*(x+s)/hz/wall
  }'
}

# load COUNT SIZE: "MOVES UPLOADS SOURCE" per fly per second, from the ethogram's row
# "Window moves + picture changes per fly per second | T (MOVES + CHANGES)".
load() {
  if [ -x "$ethogram" ]; then
    local pair
    pair=$("$ethogram" --flies "$1" --size "$2" --seed 1 --work "$work" 2>/dev/null |
           sed -nE 's/^\| Window moves \+ picture changes per fly per second \| [0-9.]+ \(([0-9.]+) \+ ([0-9.]+)\).*/\1 \2/p' || true)
    if [ -n "$pair" ]; then echo "$pair fly_ethogram"; return; fi
    echo "fly-desktop-bench: could not read moves and picture changes from $ethogram" >&2
  fi
  local given
  if [ "$1" = 1 ]; then given=${GNATTER_BENCH_LOAD_1:-}; else given=${GNATTER_BENCH_LOAD_50:-}; fi
  if [ -n "$given" ]; then echo "$given GNATTER_BENCH_LOAD"; else echo "1 1 default"; fi
}

# run_case LABEL COUNT SIZE TARGET
run_case() {
  local label=$1 count=$2 size=$3 target=$4
  local fly base moves uploads source
  fly=$(measure 'gnatter\.exe' "$exe" -n "$count" -t 0 -s "$size" --seed 1)
  read -r moves uploads source <<<"$(load "$count" "$size")"
  base=$(measure 'window_load\.exe' "$baseline" "$count" "$size" "$moves" "$uploads")
  read -r g x s total peak <<<"$fly"
  read -r bg bx bs btotal _ <<<"$base"
  awk -v label="$label" -v g="$g" -v x="$x" -v s="$s" -v total="$total" -v peak="$peak" -v target="$target" \
      -v bg="$bg" -v bx="$bx" -v bs="$bs" -v btotal="$btotal" -v moves="$moves" -v uploads="$uploads" \
      -v source="$source" 'BEGIN {
    printf "%-24s %9.2f%% %7.2f%% %10.2f%% %7.2f%% %9d  < %g%%: %s\n", label, g, x, s, total, peak, target,
           (total < target) ? "met" : "MISSED"
    printf "%-24s %9.2f%% %7.2f%% %10.2f%% %7.2f%%   (%s moves, %s uploads per window per second, from %s)\n",
           "  minimal program", bg, bx, bs, btotal, moves, uploads, source
    printf "%-24s %9.1f\n", "  ratio gnatter / minimal", (btotal > 0) ? total / btotal : 0
  }'
  echo "$peak" >"$state/bench-peak-$count"
}

echo "Measuring ${seconds} s per case after ${settle} s to settle, on CPU $cpu, in $state"
printf '\n%-24s %10s %8s %11s %8s %9s  %s\n' "case" "program" "Xvfb" "wineserver" "total" "peak KB" "target (total CPU)"
idle
run_case "1 fly (-n 1 -s 36)" 1 36 1
run_case "50 flies (-n 50 -s 54)" 50 54 15
peak1=$(cat "$state/bench-peak-1"); peak50=$(cat "$state/bench-peak-50")
rm -f "$state/bench-peak-1" "$state/bench-peak-50"
per_fly=$(( (peak50 - peak1) / 49 ))
printf '\nmemory per fly beyond the first: %d KB (target < 100 KB: %s)\n' "$per_fly" \
  "$(awk -v v="$per_fly" 'BEGIN { print (v < 100) ? "met" : "MISSED" }')"
