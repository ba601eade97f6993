#!/usr/bin/env bash
# Installs what building, testing and running the program need on Debian 12.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev
  qt6-base-dev fonts-dejavu-core
  lrzsz xvfb xauth xdotool imagemagick clang util-linux
  libudev-dev libsystemd-dev dbus python3-dbusmock
  # the Windows build and its tests under Wine
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine wine64 nsis
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # Through sudo as well: sudo drops the caller's environment.
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
