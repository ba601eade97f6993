#!/usr/bin/env bash
# The program's main job on a simulated modem: installs what it needs,
# builds, starts the modem simulator on COM4 and runs a whole upgrade of a
# generated 512 KiB image with the sample identity data file.
#
# With a display the window is yours to drive. Without one the program runs
# on a virtual display, driven by key presses as a person would (Enter at
# the prompt, Enter for Upgrade, Enter at the result), and screenshots are
# saved in demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
if [ -z "${DISPLAY:-}" ]; then
  need=()
  for p in xdotool x11-apps imagemagick; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
  done
  if [ ${#need[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
  fi
fi
scripts/build.sh build

root=$(pwd)
out="$root/demo-out"
mkdir -p "$out"
work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# No real serial port is touched: COM1..COM9 point into the scratch folder,
# and only COM4 has a modem behind it.
for n in 1 2 3 4 5 6 7 8 9; do export "QUILVEX_COM$n=$work/com$n"; done
build/bin/quilvex-modem-sim --link "$work/com4" --country 22 --image-out "$out/received.dlf" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/com4" ] && break; sleep 0.1; done

# The program runs where the data file is, and the data file names the image.
cp quilvex.dat "$work/"
head -c 524288 /dev/urandom >"$work/firmware.dlf"
cd "$work"

if [ -n "${DISPLAY:-}" ]; then
  "$root/build/bin/quilvex"
else
  "$root/scripts/drive-demo.sh" "$root/build/bin/quilvex" "$out"
fi

if cmp -s "$work/firmware.dlf" "$out/received.dlf"; then
  echo "The simulated modem received the image byte for byte."
else
  echo "The simulated modem did not receive the image." >&2
  exit 1
fi
