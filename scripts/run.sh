#!/usr/bin/env bash
# Builds Gnatter, both the Windows programs and the native Linux one, and runs it. On a
# desktop (DISPLAY set and reachable) it starts the launcher under Wine on that display
# (the flies' see-through wings then need that desktop to composite; a bare X session
# draws them opaque), or with --linux the native fly program there. Without a display it
# runs a headless demo on a private Xvfb with a compositing manager and saves screenshots:
# the launcher, the Windows flies on a desktop-like background as Windows shows them, and
# the Linux flies on the same desktop.
#   scripts/run.sh            run the launcher (or the demo)
#   scripts/run.sh --linux    run the native Linux flies on the display: gnatter -n 5 -t 120
#   scripts/run.sh --package  also make the Windows release zip and, where the native build
#                             has the Linux fly program, the Debian package
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

package=false
linux=false
for argument in "$@"; do
  case "$argument" in
    --package) package=true ;;
    --linux) linux=true ;;
    *) echo "usage: scripts/run.sh [--linux] [--package]" >&2; exit 2 ;;
  esac
done

# One line of news at a time: rewritten in place on a terminal, one line each otherwise.
say() {
  if [ -t 1 ]; then printf '\r\033[K%s' "$1"; else printf '%s\n' "$1"; fi
}
done_saying() { if [ -t 1 ]; then printf '\n'; fi; }

# build PRESET WHAT: configures and builds a preset, showing the build's own percentages
# as they come (a first build takes a few minutes); the log goes to build/run-PRESET.log.
build() {
  local preset=$1 what=$2 log="$root/build/run-$1.log" last="" shown=0 line status
  say "run: configuring $what (cmake --preset $preset)"
  if ! cmake --preset "$preset" >"$log" 2>&1; then
    done_saying; tail -n 30 "$log" >&2; echo "run: configuring failed; the whole log is $log" >&2; exit 1
  fi
  say "run: building $what: 0%"
  while IFS= read -r line; do
    printf '%s\n' "$line" >>"$log"
    if [[ $line =~ ^\[\ *([0-9]+)%\] ]] && [ "${BASH_REMATCH[1]}" != "$last" ]; then
      last=${BASH_REMATCH[1]}
      # On a terminal every step; in a log one line for each tenth is enough.
      if [ -t 1 ] || [ $((last / 10)) -gt $((shown / 10)) ]; then
        shown=$last
        say "run: building $what: $last%"
      fi
    fi
  done < <(cmake --build --preset "$preset" -j 2 2>&1; echo "build-exit-status $?")
  done_saying
  status=$(sed -n 's/^build-exit-status //p' "$log" | tail -n 1)
  if [ "${status:-1}" != 0 ]; then
    grep -v '^build-exit-status' "$log" | tail -n 30 >&2
    echo "run: the build failed; the whole log is $log" >&2
    exit 1
  fi
  echo "run: built $what (log: $log)"
}

"$root/scripts/setup-deps.sh"
mkdir -p "$root/build"
build windows "gnatter_gui.exe, gnatter.exe and the tests"
build native "the Linux fly program gnatter and the native tests"
bin="$root/build/windows/bin"
linux_flies="$root/build/native/bin/gnatter"

if $package; then
  # The release zip of cmake/Packaging.cmake, gnatter-<version>-win64.zip in build/windows.
  echo "run: packing the release zip"
  package_log=$(cd "$root/build/windows" && cpack -G ZIP 2>&1) || { echo "$package_log" >&2; exit 1; }
  echo "package: $(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$package_log")"
  # The Debian package of cmake/LinuxPackaging.cmake, gnatter_<version>-<revision>_<arch>.deb
  # in build/native, where the native build has the Linux fly program (fly/x11 and its
  # XCB development packages).
  if grep -qs '^set(CPACK_GENERATOR "DEB")' "$root/build/native/CPackConfig.cmake"; then
    echo "run: packing the Debian package"
    package_log=$(cd "$root/build/native" && cpack -G DEB 2>&1) || {
      echo "$package_log" >&2; echo "run: cpack -G DEB failed in build/native" >&2; exit 1; }
    echo "package: $(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$package_log")"
  else
    echo "run: no Debian package: the native build has no Linux fly program (fly/x11 with its XCB development packages)"
  fi
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  if $linux; then
    [ -x "$linux_flies" ] || { echo "run: the native build has no Linux fly program" >&2; exit 1; }
    echo "run: five flies for two minutes on $DISPLAY ($linux_flies --stop sends them away)"
    exec "$linux_flies" -n 5 -t 120
  fi
  # A prefix of the project's own, so the user's ~/.wine stays untouched.
  state="$root/build/wine-desktop"
  [ -f "$state/prefix/.gnatter-ready" ] || echo "run: making a Wine prefix for the desktop (once; about half a minute)"
  "$root/scripts/wine-session.sh" prefix "$state"
  saved_display=$DISPLAY
  eval "$("$root/scripts/wine-session.sh" env "$state")"
  export DISPLAY=$saved_display
  echo "run: starting the launcher under Wine"
  exec wine "$bin/gnatter_gui.exe"
fi

echo "run: no display reachable; running the headless demo"
exec "$root/scripts/demo.sh" "$root/build/demo"
