#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Varnolt:
# the MinGW-w64 cross compilers, Wine, Xvfb and a few X tools, CMake,
# GoogleTest sources, clang (for the fuzz targets) and socat (a null-modem
# pair of pseudo-terminals for the Windows simulator test). Wine's 32-bit side
# (wine32:i386) runs the i686 release program, which is what a site gets and
# what the tests run. Quick when all is there.
set -euo pipefail

packages=(
  cmake g++ make
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools
  wine wine64
  xvfb xauth xdotool x11-apps imagemagick
  googletest clang
  socat
  wine32:i386
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  # The 32-bit Wine comes from the i386 side of the archive.
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: all build and test packages present"
