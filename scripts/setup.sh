#!/usr/bin/env bash
# Installs what building, testing and running the program need on Debian 12.
# `setup.sh wine32` installs Wine's 32-bit half instead (wine32, i386), for
# running the i686 Windows program; it exits 1, having changed nothing that
# stays, when the machine cannot have it.
set -euo pipefail

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Through sudo as well: sudo drops the caller's environment.
apt() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# The i386 architecture is added for this one install only: once added,
# every later `apt-get update` reads its indexes too, and a mirror whose
# i386 index is out of step would make them all fail. So when the install
# fails, it is removed again, with whatever i386 packages came with it.
if [ "${1:-}" = wine32 ]; then
  installed wine32:i386 && exit 0
  added=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    added=1
  fi
  if apt update -qq && apt install -y -qq wine32:i386; then
    exit 0
  fi
  if [ "$added" = 1 ]; then
    mapfile -t i386 < <(dpkg-query -W -f='${binary:Package}\n' 2>/dev/null | grep ':i386$' || true)
    [ ${#i386[@]} -eq 0 ] || apt purge -y -qq "${i386[@]}" || true
    $sudo dpkg --remove-architecture i386 || true
    apt update -qq || true
  fi
  exit 1
fi

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
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt update -qq
  apt install -y -qq "${missing[@]}"
fi
