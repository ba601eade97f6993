#!/usr/bin/env bash
# Installs what building, testing and running the program need on Debian 12.
# `setup.sh wine32` installs Wine's 32-bit half instead (wine32, i386), for
# running the i686 Windows program; it exits 1, having changed nothing that
# stays, when the machine cannot have it or cannot run 32-bit code, and 2
# when a failed install could not be undone.
set -euo pipefail

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Through sudo as well: sudo drops the caller's environment.
apt() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# runs_i386: whether this machine executes 32-bit x86 code at all. Some
# kernels are built without it ("Exec format error" even for a static
# program), and there wine32 would only break Wine: /usr/bin/wine would
# start the 32-bit loader for every program, the 64-bit ones included.
# A five-instruction static program, made with the binutils already here.
runs_i386() {
  local dir rc=0
  dir=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$dir/t.s"
  as --32 -o "$dir/t.o" "$dir/t.s" && ld -m elf_i386 -static -o "$dir/t" "$dir/t.o" && "$dir/t" 2>/dev/null || rc=1
  rm -rf "$dir"
  return $rc
}

# remove_i386: every i386 package (protected ones too) and the architecture
# itself; fails loudly when any of it stays.
remove_i386() {
  local i386
  mapfile -t i386 < <(dpkg-query -W -f='${binary:Package}\n' 2>/dev/null | grep ':i386$' || true)
  if [ ${#i386[@]} -gt 0 ]; then
    $sudo dpkg --purge --force-remove-protected --force-depends "${i386[@]}" >/dev/null
  fi
  $sudo dpkg --remove-architecture i386
  apt update -qq
  if dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup.sh: the i386 architecture could not be removed" >&2
    return 1
  fi
}

# The i386 architecture is added for this one install only: once added,
# every later `apt-get update` reads its indexes too, and a mirror whose
# i386 index is out of step would make them all fail. So when the install
# fails, it is removed again, with whatever i386 packages came with it;
# when that clean-up fails, the script says so and exits 2.
if [ "${1:-}" = wine32 ]; then
  if ! runs_i386; then
    echo "setup.sh: this machine cannot execute 32-bit x86 code; wine32 is not installed" >&2
    if installed wine32:i386; then
      remove_i386 || exit 2
    fi
    exit 1
  fi
  installed wine32:i386 && exit 0
  added=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    added=1
  fi
  if apt update -qq && apt install -y -qq wine32:i386 && wine --version >/dev/null 2>&1; then
    exit 0
  fi
  if [ "$added" = 1 ]; then
    remove_i386 || exit 2
  fi
  exit 1
fi

packages=(
  build-essential cmake pkg-config clang-format
  libgtest-dev
  qt6-base-dev fonts-dejavu-core
  lrzsz xvfb xauth xdotool imagemagick clang util-linux
  libudev-dev libsystemd-dev dbus python3-dbusmock
  # the benchmark's run with a screen reader on the accessibility bus
  at-spi2-core
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
