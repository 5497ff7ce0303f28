#!/usr/bin/env bash
# What the native Linux fly program, gnatter, costs on a running X11 desktop once its flies
# have landed, against two others doing comparable work on the same display: CPU time (as %
# of one core, from /proc/PID/stat) of the program, the X server and, on the compositing
# desktop, the compositor, over a measuring window; the program's peak memory; and the X
# server's pixmap memory while it runs (xrestop, above the idle desktop).
#
# The other two, interleaved with gnatter run by run:
#   x11_window_load  the floor: as many windows as flies, of the same kind (override-redirect,
#                    click-through, ARGB with a compositor, else shaped), moved and given a
#                    new cached picture as often per second as gnatter's flies were in the same
#                    measuring window of the run just before (gnatter counts its window work in
#                    the file GNATTER_WINDOW_COUNTS names), and nothing else
#   xpenguins        Debian's desktop penguins (2.2), as many penguins as flies: a peer that
#                    draws its toons straight onto the root window every 60 ms (its theme's
#                    frame delay). It has no size option, so the 54 px case runs the same
#                    30 px penguins. On the compositing desktop it leaves trails (xcompmgr
#                    paints over the root window it draws on), but what it costs is measured
#                    all the same.
# It prints per run and then per case: gnatter's total and per fly, xpenguins' total and per
# penguin, the floor, gnatter per fly over xpenguins per penguin and gnatter over the floor
# (ratios run by run; medians of the runs with min-max), then the memory each fly beyond the
# first adds (50 flies against 1, both of 36 px).
#
# The display is a private Xvfb (1280x800, 24 bits, a solid background set with hsetroot so
# that a compositor paints the same colour), without a window manager: gnatter's windows
# are override-redirect and need none, and xpenguins walks its penguins along the bottom of
# the screen and the tops of any windows. The compositing desktop is the same Xvfb with
# xcompmgr (its default, server-side compositing). Everything measured is pinned to one CPU
# (on a 2-core machine a process left to wander measures two to three times apart from run
# to run). The one-fly case uses a seed whose fly walks and grooms in the measuring window.
# Builds nothing: give it the native build folder (default build/native). Installs Xvfb,
# xcompmgr, hsetroot, xpenguins and xrestop with apt-get when they are missing and it runs as
# root or has sudo.
#
#   bench/x11-desktop-bench.sh [BUILD_DIR]
#   GNATTER_BENCH_SECONDS=20     length of each measuring window
#   GNATTER_BENCH_SETTLE=40      seconds after gnatter's start before measuring: the flies
#                                arrive, land and groom in a burst for the first half minute
#   GNATTER_BENCH_PEER_SETTLE=10 the same for the floor (at its pace from the start) and for
#                                xpenguins (its penguins have dropped in by then)
#   GNATTER_BENCH_RUNS=3         runs of each program per case
#   GNATTER_BENCH_DESKTOPS="plain compositing"   the desktops to measure
#   GNATTER_BENCH_CASES="1:36 10:36 50:36 50:54" flies:pixels of each case
#   GNATTER_BENCH_PEERS="floor xpenguins"        the programs measured beside gnatter
#   GNATTER_BENCH_CPU=1          the CPU everything measured runs on
#   GNATTER_BENCH_EXE=PATH       another gnatter to measure (e.g. an older build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
exe=${GNATTER_BENCH_EXE:-$build/bin/gnatter}
floor="$build/bin/x11_window_load"
if [ ! -x "$exe" ]; then
  echo "x11-desktop-bench: gnatter is not built ($exe is missing);" \
       "build it first: cmake --preset native && cmake --build --preset native" >&2
  exit 2
fi
seconds=${GNATTER_BENCH_SECONDS:-20}
settle=${GNATTER_BENCH_SETTLE:-40}
peer_settle=${GNATTER_BENCH_PEER_SETTLE:-10}
runs=${GNATTER_BENCH_RUNS:-3}
desktops=${GNATTER_BENCH_DESKTOPS:-plain compositing}
cases=${GNATTER_BENCH_CASES:-1:36 10:36 50:36 50:54}
peers=${GNATTER_BENCH_PEERS:-floor xpenguins}
cpu=${GNATTER_BENCH_CPU:-1}
one_fly_seed=4  # its fly walks, turns and grooms 40 to 60 s after the start
background='#3c4f63'

for desktop in $desktops; do
  case $desktop in
    plain | compositing) ;;
    *) echo "x11-desktop-bench: unknown desktop '$desktop' (plain, compositing)" >&2; exit 2 ;;
  esac
done
for c in $cases; do
  [[ $c =~ ^[0-9]+:[0-9]+$ ]] || { echo "x11-desktop-bench: a case is FLIES:PIXELS, not '$c'" >&2; exit 2; }
done
for peer in $peers; do
  case $peer in
    floor | xpenguins) ;;
    *) echo "x11-desktop-bench: unknown peer '$peer' (floor, xpenguins)" >&2; exit 2 ;;
  esac
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "x11-desktop-bench: GNATTER_BENCH_RUNS must be 1 or more" >&2; exit 2; }
[[ $seconds =~ ^[1-9][0-9]*$ && $settle =~ ^[0-9]+$ && $peer_settle =~ ^[0-9]+$ ]] ||
  { echo "x11-desktop-bench: the seconds must be whole numbers" >&2; exit 2; }
if [[ " $peers " == *" floor "* ]] && [ ! -x "$floor" ]; then
  echo "x11-desktop-bench: $floor is missing (it is built with gnatter where XCB is found)" >&2
  exit 2
fi

# ---- what the bench runs on ----

need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v hsetroot >/dev/null || need+=(hsetroot)
command -v xrestop >/dev/null || need+=(xrestop)
[[ " $desktops " != *" compositing "* ]] || command -v xcompmgr >/dev/null || need+=(xcompmgr)
[[ " $peers " != *" xpenguins "* ]] || command -v xpenguins >/dev/null || need+=(xpenguins)
command -v taskset >/dev/null || need+=(util-linux)
if [ ${#need[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
  if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
    echo "x11-desktop-bench: installing ${need[*]}"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${need[@]}" >/dev/null 2>&1 ||
      { "${sudo[@]}" apt-get update -qq && DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y \
          --no-install-recommends "${need[@]}" >/dev/null; } ||
      { echo "x11-desktop-bench: could not install ${need[*]}" >&2; exit 2; }
  else
    echo "x11-desktop-bench: missing ${need[*]} (Debian packages); install them or run as root" >&2
    exit 2
  fi
fi

clock_ticks=$(getconf CLK_TCK)
results=$(mktemp)
counts=$(mktemp)  # gnatter's window counts of its current run
displayfile=$(mktemp)
pidfile=$(mktemp)  # the measured program's pid, for finish() (measure runs in a subshell)
xvfb="" compositor="" program=""

# utime + stime of a process, in clock ticks (fields 14 and 15; the name may hold spaces).
cpu_ticks() {
  local stat
  [ -n "$1" ] || { echo 0; return; }
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || { echo 0; return; }
  stat=${stat##*) }
  set -- $stat
  echo $(( ${12} + ${13} ))
}

wait_until() {  # wait_until SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds
  local deadline=$(( $(date +%s) + $1 ))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}
gone() { ! kill -0 "$1" 2>/dev/null; }

# Ends a program of ours: gnatter takes a first signal as a request to leave and a second
# as the order to end at once; xpenguins bursts its penguins on the first (a second).
stop_program() {
  [ -n "$program" ] || return 0
  kill -TERM "$program" 2>/dev/null || true
  sleep 0.2
  kill -TERM "$program" 2>/dev/null || true
  wait_until 10 gone "$program" || kill -KILL "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  program=""
}

compositor_on() {
  setsid taskset -c "$cpu" xcompmgr </dev/null >/dev/null 2>&1 &
  compositor=$!
  sleep 1
  kill -0 "$compositor" 2>/dev/null || { echo "x11-desktop-bench: xcompmgr did not start" >&2; exit 1; }
}
compositor_off() {
  [ -n "$compositor" ] || return 0
  kill "$compositor" 2>/dev/null || true
  wait_until 5 gone "$compositor" || kill -KILL "$compositor" 2>/dev/null || true
  compositor=""
  sleep 1
}

finish() {
  [ -n "$program" ] || program=$(cat "$pidfile" 2>/dev/null)
  stop_program
  compositor_off
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -f "$results" "$counts" "$displayfile" "$pidfile"
}
trap finish EXIT
trap 'exit 130' INT TERM

# A private display, numbered by the server itself, pinned like everything measured.
taskset -c "$cpu" Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp -noreset 5>"$displayfile" \
  </dev/null >/dev/null 2>&1 &
xvfb=$!
wait_until 10 test -s "$displayfile" || { echo "x11-desktop-bench: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$displayfile")"
unset WAYLAND_DISPLAY
hsetroot -solid "$background" >/dev/null 2>&1 || true

# percent TICKS WALL: the ticks as % of one core over WALL seconds
percent() { awk -v t="$1" -v hz="$clock_ticks" -v wall="$2" 'BEGIN { printf "%.2f", 100 * t / hz / wall }'; }

# The X server's pixmap memory of every client together, in KB.
pixmap_kb() {
  xrestop -b -m 1 2>/dev/null | awk '/pixmap bytes/ { sum += $NF } END { printf "%d", sum / 1024 }'
}

# measure SETTLE PROGRAM ARGS...: runs the program pinned, lets it settle, and prints
# "total% program% xvfb% compositor% peakKB pixmapKB t0 t1" for the measuring window; the
# pixmap memory is what the X server holds while it runs above what it held before.
measure() {
  local wait=$1
  shift
  local pixmaps_before
  pixmaps_before=$(pixmap_kb)
  taskset -c "$cpu" "$@" </dev/null >/dev/null 2>&1 &
  program=$!
  echo "$program" >"$pidfile"
  sleep "$wait"  # not synchronisation: arrival and start-up costs stay out of the measurement
  kill -0 "$program" 2>/dev/null || { echo "x11-desktop-bench: $1 ended early" >&2; exit 1; }
  local g0 x0 c0 g1 x1 c1 t0 t1 peak wall pixmaps
  g0=$(cpu_ticks "$program"); x0=$(cpu_ticks "$xvfb"); c0=$(cpu_ticks "$compositor")
  t0=$(date +%s.%N)
  sleep "$seconds"  # the measuring window
  t1=$(date +%s.%N)
  g1=$(cpu_ticks "$program"); x1=$(cpu_ticks "$xvfb"); c1=$(cpu_ticks "$compositor")
  peak=$(awk '/^VmHWM:/ {print $2}' "/proc/$program/status")
  pixmaps=$(( $(pixmap_kb) - pixmaps_before ))
  stop_program
  : >"$pidfile"
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  echo "$(percent $((g1 - g0 + x1 - x0 + c1 - c0)) "$wall") $(percent $((g1 - g0)) "$wall")" \
       "$(percent $((x1 - x0)) "$wall") $(percent $((c1 - c0)) "$wall") ${peak:-0} $pixmaps $t0 $t1"
}

# counted_pace FLIES T0 T1: "MOVES PICTURES UPLOADS" per fly per second that gnatter itself
# counted between the two times (its counts file has a line a second: time, then moves, new
# pictures and uploads so far; the counts are interpolated to T0 and T1), or nothing.
counted_pace() {
  [ -s "$counts" ] || return 0
  awk -v n="$1" -v t0="$2" -v t1="$3" '
    function at(t, col,   i) {
      if (t <= T[1]) return C[col, 1]
      for (i = 2; i <= k; i++) if (T[i] >= t) return C[col, i - 1] + (C[col, i] - C[col, i - 1]) * (t - T[i - 1]) / (T[i] - T[i - 1])
      return -1
    }
    NF == 4 && $1 > T[k] { k++; T[k] = $1; C[1, k] = $2; C[2, k] = $3; C[3, k] = $4 }
    END {
      if (k < 2 || n <= 0) exit
      for (col = 1; col <= 3; col++) {
        a = at(t0, col); b = at(t1, col)
        if (a < 0 || b < 0) exit
        rate[col] = (b - a) / (t1 - t0) / n
      }
      printf "%.3f %.3f %.3f", rate[1], rate[2], rate[3]
    }' "$counts"
}

# idle DESKTOP: the display (and compositor) with none of our programs running, the floor
# under every figure above it.
idle() {
  sleep 2
  local x0 c0 x1 c1 t0 t1 wall
  x0=$(cpu_ticks "$xvfb"); c0=$(cpu_ticks "$compositor"); t0=$(date +%s.%N)
  sleep "$seconds"
  x1=$(cpu_ticks "$xvfb"); c1=$(cpu_ticks "$compositor"); t1=$(date +%s.%N)
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  printf '%-12s idle desktop: X %s%%, compositor %s%% (load average %s)\n' "$1" "$(percent $((x1 - x0)) "$wall")" \
    "$(percent $((c1 - c0)) "$wall")" "$(cut -d' ' -f1-3 /proc/loadavg)"
}

ratio_of() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }  # A / B
per() { awk -v a="$1" -v n="$2" 'BEGIN { printf "%.3f", a / n }'; }

# run_case DESKTOP FLIES:PIXELS: RUNS interleaved runs; one line per run to $results:
# "desktop case run total program x comp peak pixmaps floor ptotal pprogram px pcomp
#  per_fly per_penguin penguin_ratio floor_ratio"
run_case() {
  local desktop=$1 c=$2 count=${2%%:*} size=${2##*:}
  local seed=1 run
  [ "$count" != 1 ] || seed=$one_fly_seed
  local label="$count flies, $size px"
  [ "$count" != 1 ] || label="1 fly, $size px (seed $seed)"
  printf '%-12s %s (load average %s)\n' "$desktop" "$label" "$(cut -d' ' -f1-3 /proc/loadavg)"
  for run in $(seq 1 "$runs"); do
    : >"$counts"
    local fly total prog x comp peak pixmaps t0 t1
    fly=$(GNATTER_WINDOW_COUNTS="$counts" measure "$settle" "$exe" -n "$count" -t 0 -s "$size" --seed "$seed")
    read -r total prog x comp peak pixmaps t0 t1 <<<"$fly"
    local moves="-" pictures="-" uploads="-" counted
    counted=$(counted_pace "$count" "$t0" "$t1")
    [ -z "$counted" ] || read -r moves pictures uploads <<<"$counted"
    printf '%-12s   run %d: gnatter %6s%% (program %s%%, X %s%%, compositor %s%%; peak %s KB, X pixmaps %s KB;' \
      "$desktop" "$run" "$total" "$prog" "$x" "$comp" "$peak" "$pixmaps"
    printf ' per fly a second %s moves, %s new pictures, %s uploads)\n' "$moves" "$pictures" "$uploads"

    local ftotal="-" fprog fx fcomp
    if [[ " $peers " == *" floor "* ]]; then
      [ -n "$counted" ] || { echo "x11-desktop-bench: gnatter wrote no window counts to pace the floor" >&2; exit 1; }
      local base
      base=$(measure "$peer_settle" "$floor" "$count" "$size" "$moves" "$pictures")
      read -r ftotal fprog fx fcomp _ <<<"$base"
      printf '%-12s          floor   %6s%% (program %s%%, X %s%%, compositor %s%%)\n' "$desktop" "$ftotal" "$fprog" "$fx" "$fcomp"
    fi
    local ptotal="-" pprog="-" px="-" pcomp="-"
    if [[ " $peers " == *" xpenguins "* ]]; then
      local peer
      peer=$(measure "$peer_settle" xpenguins -n "$count" -q)
      read -r ptotal pprog px pcomp _ <<<"$peer"
      printf '%-12s          xpenguins %4s%% (program %s%%, X %s%%, compositor %s%%)\n' "$desktop" "$ptotal" "$pprog" "$px" "$pcomp"
    fi
    local per_fly per_penguin="-" penguin_ratio="-" floor_ratio="-"
    per_fly=$(per "$total" "$count")
    [ "$ptotal" = "-" ] || { per_penguin=$(per "$ptotal" "$count"); penguin_ratio=$(ratio_of "$total" "$ptotal"); }
    [ "$ftotal" = "-" ] || floor_ratio=$(ratio_of "$total" "$ftotal")
    echo "$desktop $c $run $total $prog $x $comp $peak $pixmaps $ftotal $ptotal $pprog $px $pcomp $per_fly $per_penguin" \
         "$penguin_ratio $floor_ratio" >>"$results"
  done
}

echo "Measuring ${seconds} s per run, ${settle} s after gnatter's start and ${peer_settle} s after the others'," \
     "$runs runs a case, on CPU $cpu of $(nproc), display $DISPLAY"
echo "gnatter: $exe"
echo
for desktop in $desktops; do
  if [ "$desktop" = compositing ]; then compositor_on; fi
  idle "$desktop"
  for c in $cases; do run_case "$desktop" "$c"; done
  compositor_off
  echo
done

# The summary: median with min-max over the runs of each case. A ratio is taken run by run
# (the programs of one run ran one after another), then summarised.
target_penguins() {  # the per-fly target against xpenguins per penguin, or "-"
  case $1:$2 in
    compositing:10:36 | compositing:50:36) echo 0.5 ;;
    plain:10:36 | plain:50:36) echo 1 ;;
    *) echo - ;;
  esac
}
echo "CPU as % of one core (program + X server + compositor), median of $runs runs with min-max; a ratio is"
echo "gnatter's over the other's, run by run (fly/penguin: per fly over per penguin):"
echo
echo "| desktop | case | gnatter | per fly | xpenguins | per penguin | floor | fly/penguin | target | gnatter/floor | target |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
for desktop in $desktops; do
  for c in $cases; do
    awk -v desktop="$desktop" -v c="$c" -v tp="$(target_penguins "$desktop" "$c")" '
      function sort(a, n,   i, j, t) { for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t } }
      function median(a, n) { return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
      function show(a, n, digits) {
        if (n == 0) return "-"
        sort(a, n)
        return sprintf("%." digits "f (%." digits "f-%." digits "f)", median(a, n), a[1], a[n])
      }
      function keep(a, v, i) { if (v != "-") a[++i] = v; return i }
      $1 == desktop && $2 == c {
        n++; g[n] = $4; f[n] = $15
        nf = keep(fl, $10, nf); np = keep(pe, $11, np); npp = keep(pp, $16, npp)
        nr = keep(pr, $17, nr); nq = keep(fr, $18, nq)
      }
      END {
        if (n == 0) exit
        split(c, fs, ":")
        label = (fs[1] == 1 ? "1 fly" : fs[1] " flies") ", " fs[2] " px"
        # the medians, before show() sorts the arrays
        if (nr) { sort(pr, nr); mr = median(pr, nr) }
        if (nq) { sort(fr, nq); mq = median(fr, nq) }
        t1 = (tp == "-" || !nr) ? "-" : "<= " tp (mr <= tp ? " met" : " MISSED")
        t2 = !nq ? "-" : "<= 1.2" (mq <= 1.2 ? " met" : " MISSED")
        printf "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", desktop, label, show(g, n, 2),
               show(f, n, 3), show(pe, np, 2), show(pp, npp, 3), show(fl, nf, 2), show(pr, nr, 2), t1,
               show(fr, nq, 2), t2
      }' "$results"
  done
done

# Memory: what each fly beyond the first adds, 50 flies against 1 of the same size, on each
# desktop (the medians of the runs' peaks; X pixmaps: what the X server held while gnatter ran,
# above the idle desktop, the compositor's pixmaps of the windows included).
echo
for desktop in $desktops; do
  median_of() {  # median_of CASE COLUMN
    awk -v d="$desktop" -v c="$1" -v col="$2" '$1 == d && $2 == c { v[++n] = $col }
      END { if (!n) exit; for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j-1] > v[j]; j--) { t = v[j]; v[j] = v[j-1]; v[j-1] = t }
            print (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }' "$results"
  }
  peak1=$(median_of 1:36 8); peak50=$(median_of 50:36 8)
  pix1=$(median_of 1:36 9); pix50=$(median_of 50:36 9)
  [ -n "$peak1" ] && [ -n "$peak50" ] || continue
  awk -v d="$desktop" -v p1="$peak1" -v p50="$peak50" -v x1="$pix1" -v x50="$pix50" 'BEGIN {
    per = (p50 - p1) / 49
    printf "%s: memory per fly beyond the first (50 flies against 1, 36 px): %.1f KB of gnatter'"'"'s peak RSS" \
           " (%d KB against %d KB; target <= 25 KB: %s), %.1f KB of X server pixmaps (%d KB against %d KB)\n",
           d, per, p50, p1, per <= 25 ? "met" : "MISSED", (x50 - x1) / 49, x50, x1 }'
done
