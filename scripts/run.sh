#!/usr/bin/env bash
# Builds Gnatter and runs it. On a desktop (DISPLAY set and reachable) it starts the
# launcher under Wine on that display; the flies' see-through wings then need that
# desktop to composite (most do; a bare X session draws them opaque). Without a display
# it runs a headless demo on a private Xvfb with a compositing manager: it saves a
# screenshot of the launcher, closes it, then (when the fly program is built) lets flies
# land on a desktop-like background and saves a screenshot of them, as Windows shows them.
#   scripts/run.sh            run (or demo)
#   scripts/run.sh --package  also build the Windows release zip and, where the native
#                             build has the Linux fly program, the Debian package
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# One line of news at a time: rewritten in place on a terminal, one line each otherwise.
say() {
  if [ -t 1 ]; then printf '\r\033[K%s' "$1"; else printf '%s\n' "$1"; fi
}
done_saying() { if [ -t 1 ]; then printf '\n'; fi; }

"$root/scripts/setup-deps.sh"
mkdir -p "$root/build"
log="$root/build/run-build.log"
say "run: configuring the Windows build (cmake --preset windows)"
if ! cmake --preset windows >"$log" 2>&1; then
  done_saying; tail -n 30 "$log" >&2; echo "run: configuring failed; the whole log is $log" >&2; exit 1
fi
# The build's own percentages, shown as they come: a first build takes a few minutes.
say "run: building gnatter_gui.exe, gnatter.exe and the tests: 0%"
last=""
shown=0
while IFS= read -r line; do
  printf '%s\n' "$line" >>"$log"
  if [[ $line =~ ^\[\ *([0-9]+)%\] ]] && [ "${BASH_REMATCH[1]}" != "$last" ]; then
    last=${BASH_REMATCH[1]}
    # On a terminal every step; in a log one line for each tenth is enough.
    if [ -t 1 ] || [ $((last / 10)) -gt $((shown / 10)) ]; then
      shown=$last
      say "run: building gnatter_gui.exe, gnatter.exe and the tests: $last%"
    fi
  fi
done < <(cmake --build --preset windows -j 2 2>&1; echo "build-exit-status $?")
done_saying
status=$(sed -n 's/^build-exit-status //p' "$log" | tail -n 1)
if [ "${status:-1}" != 0 ]; then
  grep -v '^build-exit-status' "$log" | tail -n 30 >&2
  echo "run: the build failed; the whole log is $log" >&2
  exit 1
fi
echo "run: built (log: $log)"
bin="$root/build/windows/bin"

if [ "${1:-}" = "--package" ]; then
  # The release zip of cmake/Packaging.cmake, gnatter-<version>-win64.zip in the build folder.
  echo "run: packing the release zip"
  package_log=$(cd "$root/build/windows" && cpack -G ZIP 2>&1) || { echo "$package_log" >&2; exit 1; }
  echo "package: $(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$package_log")"

  # The Debian package of cmake/LinuxPackaging.cmake, gnatter_<version>-<revision>_<arch>.deb
  # in build/native. The native build has the Linux fly program only where fly/x11 exists
  # and its XCB development packages are installed; without it there is no package to make.
  native_log="$root/build/run-native-build.log"
  echo "run: building the native programs and tests (cmake --preset native; a minute or two the first time)"
  if ! { cmake --preset native && cmake --build --preset native -j 2; } >"$native_log" 2>&1; then
    tail -n 30 "$native_log" >&2
    echo "run: the native build failed; the whole log is $native_log" >&2
    exit 1
  fi
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
