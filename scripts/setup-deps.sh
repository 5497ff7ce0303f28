#!/usr/bin/env bash
# Installs, from Debian's (or Ubuntu's) packages, whatever building and testing need and
# this machine lacks: compilers, the mingw-w64 cross toolchain, Wine, Xvfb, fonts and the
# test and art tools. Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev googletest libbenchmark-dev    # native build and tests
  clang libclang-rt-dev                                      # libFuzzer
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64       # the Windows build
  wine wine64 fonts-wine fonts-roboto-unhinted              # running it
  xvfb x11-utils imagemagick                                 # headless display, screenshots
  icoutils pngcheck python3                                  # resource checks
  zip unzip                                                  # the release archive
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-deps: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
