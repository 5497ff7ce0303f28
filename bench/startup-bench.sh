#!/usr/bin/env bash
# Startup benchmark of the launcher against a minimal Win32 program built the same way
# (bench/startup/minimal_window.cpp), under the build's headless Wine session. Over RUNS
# alternating rounds, bench/startup/startup_probe.cpp times each program from just before
# CreateProcess until its window is visible, fully painted (no update region left in it
# or its child windows) and its thread answers WM_NULL. Prints the median of each, the
# median of the per-round ratios, and the shipped executables' sizes, against the targets
# (startup within 10 % of the minimal program, each executable under 400 KB). Figures
# only: it never fails on them, only when something cannot be measured.
#
#   bench/startup-bench.sh [BUILD_DIR] [RUNS]    defaults: build/windows, 21
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)
runs=${2:-21}
bin="$build/bin"
state="$build/wine"

for exe in gnatter_gui.exe minimal_window.exe startup_probe.exe; do
  [ -f "$bin/$exe" ] || { echo "startup-bench: $bin/$exe is missing; build $build first" >&2; exit 1; }
done
[ "$runs" -ge 20 ] 2>/dev/null || echo "startup-bench: note: fewer than 20 rounds give a rough median" >&2

# Leave a session that was already up (for instance the tests') running afterwards.
was_up=false
if [ -s "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then was_up=true; fi
"$root/scripts/wine-session.sh" start "$state"
if ! $was_up; then
  trap '"$root/scripts/wine-session.sh" stop "$state" >/dev/null 2>&1 || true' EXIT
fi
eval "$("$root/scripts/wine-session.sh" env "$state")"

out=$(mktemp)
echo "startup-bench: $runs rounds of minimal_window.exe and gnatter_gui.exe under $(wine --version 2>/dev/null)"
wine "$bin/startup_probe.exe" "$runs" \
  minimal minimal_window.exe GnatterMinimalWindow \
  launcher gnatter_gui.exe GnatterGuiClass </dev/null 2>&1 | tr -d '\r' | tee "$out" | grep -v '^run ' || true
grep -q '^ratio ' "$out" || { echo "startup-bench: the probe did not finish" >&2; cat "$out" >&2; rm -f "$out"; exit 1; }

value() { awk -v k="$1" -v n="$2" '$1 == k && $2 == n { print $3 }' "$out"; }
spread() {  # min and max of one program's runs
  awk -v n="$1" '$1 == "run" && $3 == n { v = $4 + 0; if (min == "" || v < min) min = v; if (v > max) max = v }
                 END { printf "%.1f..%.1f", min, max }' "$out"
}
kb() { [ -f "$1" ] && awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1024 }' || echo "-"; }

ratio=$(value ratio launcher)
echo
printf '%-20s %12s %16s %10s\n' program "median ms" "range ms" "size KB"
printf '%-20s %12s %16s %10s\n' minimal_window.exe "$(value median minimal)" "$(spread minimal)" "$(kb "$bin/minimal_window.exe")"
printf '%-20s %12s %16s %10s\n' gnatter_gui.exe "$(value median launcher)" "$(spread launcher)" "$(kb "$bin/gnatter_gui.exe")"
printf '%-20s %12s %16s %10s\n' gnatter.exe "-" "-" "$(kb "$bin/gnatter.exe")"
echo
awk -v r="$ratio" 'BEGIN { printf "launcher / minimal, median of per-round ratios: %.3f (target at most 1.100: %s)\n",
                           r, (r <= 1.1 ? "met" : "missed") }'
for exe in gnatter_gui.exe gnatter.exe; do
  [ -f "$bin/$exe" ] || continue
  size=$(stat -c %s "$bin/$exe")
  awk -v e="$exe" -v s="$size" 'BEGIN { printf "%s: %d bytes (target under 400 KB: %s)\n", e, s, (s < 400 * 1024 ? "met" : "missed") }'
done
rm -f "$out"
