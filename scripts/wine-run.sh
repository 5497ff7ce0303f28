#!/usr/bin/env bash
# Runs one Windows executable under the build's headless Wine session; CMake uses it
# as the cross-compiling emulator, so `ctest` runs Windows tests unchanged.
# The session lives in <build>/wine, where <build> is the nearest folder above the
# executable that holds CMakeCache.txt (or $GNATTER_WINE_STATE when set).
set -euo pipefail
exe=${1:?usage: wine-run.sh PROGRAM.exe [ARGS...]}
here=$(cd "$(dirname "$0")" && pwd)

state=${GNATTER_WINE_STATE:-}
if [ -z "$state" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || { echo "wine-run: no build folder above $exe" >&2; exit 2; }
  state="$dir/wine"
fi

"$here/wine-session.sh" start "$state"
eval "$("$here/wine-session.sh" env "$state")"
exec wine "$@"
