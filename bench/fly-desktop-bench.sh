#!/usr/bin/env bash
# What the fly program costs on a running desktop: CPU time (as % of one core) of
# gnatter.exe's Wine process, the X server and the wineserver, and gnatter.exe's peak
# memory, for one fly at the launcher's defaults and for 50 flies at the largest size.
# Builds nothing: give it a Windows build folder (default build/windows).
#
#   bench/fly-desktop-bench.sh [BUILD_DIR]
#   GNATTER_BENCH_SECONDS=20   length of each measuring window
#   GNATTER_BENCH_SETTLE=3     seconds after start before measuring (DLL loading, first frames)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}
build=$(cd "$build" && pwd)
exe="$build/bin/gnatter.exe"
[ -f "$exe" ] || { echo "fly-desktop-bench: $exe is missing; build the Windows preset first" >&2; exit 2; }
seconds=${GNATTER_BENCH_SECONDS:-20}
settle=${GNATTER_BENCH_SETTLE:-3}
state=${GNATTER_WINE_STATE:-$build/wine}  # as scripts/wine-run.sh picks it

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

in_our_prefix() { tr '\0' '\n' <"/proc/$1/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; }

wineserver_pid() {
  local pid
  for pid in $(pgrep -x 'wineserver(64)?' || true); do
    in_our_prefix "$pid" && { echo "$pid"; return; }
  done
}

# The Linux process that runs gnatter.exe in our prefix (not `wine --stop` runs).
gnatter_pid() {
  local pid
  for pid in $(pgrep -f 'gnatter\.exe' || true); do
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

stop_flies() {
  wine "$exe" --stop </dev/null >/dev/null 2>&1 || true
}
finish() {
  stop_flies
  $was_up || "$root/scripts/wine-session.sh" stop "$state" >/dev/null 2>&1 || true
}
trap finish EXIT

no_gnatter() { [ -z "$(gnatter_pid)" ]; }
found_pid=""
gnatter_started() { found_pid=$(gnatter_pid); [ -n "$found_pid" ]; }

# run_case LABEL OPTIONS...: prints "LABEL gnatter% xvfb% wineserver% total% peakKB"
run_case() {
  local label=$1
  shift
  stop_flies
  wait_until 30 no_gnatter || { echo "fly-desktop-bench: an earlier gnatter.exe does not end" >&2; exit 1; }
  wine "$exe" "$@" </dev/null >/dev/null 2>&1 &
  wait_until 30 gnatter_started || { echo "fly-desktop-bench: gnatter.exe did not start" >&2; exit 1; }
  local pid=$found_pid
  sleep "$settle"  # not synchronisation: start-up costs stay out of the measurement

  local xvfb server
  xvfb=$(cat "$state/xvfb.pid")
  server=$(wineserver_pid)
  local g0 x0 s0 g1 x1 s1
  g0=$(cpu_ticks "$pid"); x0=$(cpu_ticks "$xvfb"); s0=$(cpu_ticks "${server:-0}")
  local t0 t1
  t0=$(date +%s.%N)
  sleep "$seconds"  # the measuring window
  t1=$(date +%s.%N)
  g1=$(cpu_ticks "$pid"); x1=$(cpu_ticks "$xvfb"); s1=$(cpu_ticks "${server:-0}")
  local peak
  peak=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")
  stop_flies
  wait_until 30 no_gnatter || echo "fly-desktop-bench: gnatter.exe did not end after --stop" >&2

  awk -v label="$label" -v g=$((g1 - g0)) -v x=$((x1 - x0)) -v s=$((s1 - s0)) -v hz="$clock_ticks" \
      -v t0="$t0" -v t1="$t1" -v peak="$peak" 'BEGIN {
    wall = t1 - t0
    printf "%s %.2f %.2f %.2f %.2f %d\n", label, 100*g/hz/wall, 100*x/hz/wall, 100*s/hz/wall, 100*(g+x+s)/hz/wall, peak
  }'
}

echo "Measuring ${seconds} s per case (after ${settle} s to settle) in $state"
one=$(run_case one -n 1 -t 0 -s 36 --seed 1)
many=$(run_case fifty -n 50 -t 0 -s 54 --seed 1)

read -r _ g1 x1 s1 total1 peak1 <<<"$one"
read -r _ g50 x50 s50 total50 peak50 <<<"$many"
per_fly=$(( (peak50 - peak1) / 49 ))
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v < limit) ? "met" : "MISSED" }'; }

printf '\n%-26s %10s %8s %12s %9s %10s  %s\n' "case" "gnatter.exe" "Xvfb" "wineserver" "total" "peak KB" "target (total CPU)"
printf '%-26s %9s%% %7s%% %11s%% %8s%% %10s  < 1%% of one core: %s\n' "1 fly (-n 1 -s 36)" "$g1" "$x1" "$s1" "$total1" "$peak1" "$(verdict "$total1" 1)"
printf '%-26s %9s%% %7s%% %11s%% %8s%% %10s  < 5%% of one core: %s\n' "50 flies (-n 50 -s 54)" "$g50" "$x50" "$s50" "$total50" "$peak50" "$(verdict "$total50" 5)"
printf '\nmemory per fly beyond the first: %d KB (target < 100 KB: %s)\n' "$per_fly" "$(verdict "$per_fly" 100)"
