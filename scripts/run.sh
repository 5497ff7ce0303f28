#!/usr/bin/env bash
# Builds Gnatter and runs it. On a desktop (DISPLAY set and reachable) it starts the
# launcher under Wine on that display. Without one it runs a headless demo on a private
# Xvfb: it saves a screenshot of the launcher, closes it, then (when the fly program is
# built) lets flies land on a desktop-like background and saves a screenshot of them.
#   scripts/run.sh            run (or demo)
#   scripts/run.sh --package  also build the Windows release zip
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/setup-deps.sh"
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 >/dev/null
bin="$root/build/windows/bin"

if [ "${1:-}" = "--package" ]; then
  # The release zip of cmake/Packaging.cmake, gnatter-<version>-win64.zip in the build folder.
  package_log=$(cd "$root/build/windows" && cpack -G ZIP 2>&1) || { echo "$package_log" >&2; exit 1; }
  echo "package: $(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$package_log")"
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  # A prefix of the project's own, so the user's ~/.wine stays untouched.
  state="$root/build/wine-desktop"
  "$root/scripts/wine-session.sh" prefix "$state"
  saved_display=$DISPLAY
  eval "$("$root/scripts/wine-session.sh" env "$state")"
  export DISPLAY=$saved_display
  exec wine "$bin/gnatter_gui.exe"
fi

exec "$root/scripts/demo.sh" "$root/build/demo"
