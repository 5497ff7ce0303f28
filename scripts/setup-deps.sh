#!/usr/bin/env bash
# Installs, from Debian's (or Ubuntu's) packages, whatever building and testing need and
# this machine lacks: compilers, the mingw-w64 cross toolchain, Wine, the XCB libraries of
# the Linux fly program, Xvfb (and Xephyr for two monitors, a compositing manager), fonts,
# the test and art tools and the Debian packaging tools. Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev googletest libbenchmark-dev    # native build and tests
  clang libclang-rt-dev                                      # libFuzzer
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64       # the Windows build
  wine wine64 fonts-wine fonts-roboto-unhinted              # running it
  xvfb x11-utils xdotool imagemagick                         # headless display, screenshots
  xcompmgr hsetroot xserver-xephyr                           # compositor, desktop background, two monitors
  icoutils pngcheck python3                                  # resource checks
  zip unzip                                                  # the release archive
  dpkg-dev file lintian desktop-file-utils                   # the Linux package (.deb) and its checks
  pkg-config libxcb1-dev libxcb-shape0-dev libxcb-xinput-dev # the Linux fly program (XCB) ...
  libxcb-randr0-dev libxcb-xfixes0-dev libxcb-screensaver0-dev libxcb-xinerama0-dev
  libxcb-xtest0-dev x11-xserver-utils                        # ... and its tests (XTest clicks, xrandr)
  trayer                                                     # a system tray for the icon's test (no window manager needed)
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-deps: installing ${#missing[@]} packages and what they need: ${missing[*]}"
case " ${missing[*]} " in
  *" wine "*) echo "setup-deps: on a fresh machine this takes two to three minutes (Wine is large)" ;;
esac
sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
echo "setup-deps: reading the package lists (apt-get update)"
"${sudo[@]}" apt-get update -qq
# apt-get's own lines, boiled down to one per package it downloads and sets up, so the
# long install shows that it moves; the whole output goes to a log for when it fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}" 2>&1 | tee "$log" |
    sed -un -e 's/^Get:\([0-9]*\) .* \([^ ]*\) [^ ]* [^ ]* \[[^]]*\]$/setup-deps: download \1: \2/p' \
      -e 's/^Setting up \([^ ]*\) .*/setup-deps: set up \1/p'; then
  tail -n 30 "$log" >&2
  echo "setup-deps: apt-get install failed" >&2
  exit 1
fi
echo "setup-deps: done"
