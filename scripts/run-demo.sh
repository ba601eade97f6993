#!/usr/bin/env bash
# Runs the demo upgrade from built programs: starts the modem simulator on
# COM4, runs quilvex from a scratch folder holding the sample data file and
# a generated 512 KiB image, and checks the image the simulator received.
# Usage: run-demo.sh BIN_DIR DATA_FILE OUT_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
data=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
sim=$bin/quilvex-modem-sim
. "$here/sim.sh"
trap 'stop_sim; rm -rf "$work"' EXIT

# No real serial port is touched: COM1..COM9 point into the scratch folder,
# and only COM4 has a modem behind it.
for n in 1 2 3 4 5 6 7 8 9; do export "QUILVEX_COM$n=$work/com$n"; done
rm -f "$out/received.dlf"
start_sim "$work/com4" "$work/sim.out" "$work/sim.err" --country 22 --image-out "$out/received.dlf"

# The program runs where the data file is, and the data file names the image.
cp "$data" "$work/quilvex.dat"
head -c 524288 /dev/urandom >"$work/firmware.dlf"
cd "$work"

status=0
if [ -n "${DISPLAY:-}" ]; then
  "$bin/quilvex" || status=$?
else
  "$here/drive-demo.sh" "$bin/quilvex" "$out" || status=$?
fi
if [ $status -ne 0 ]; then
  echo "What the simulated modem saw:" >&2
  sed 's/^/  /' "$work/sim.out" "$work/sim.err" >&2
  exit $status
fi

if cmp -s "$work/firmware.dlf" "$out/received.dlf"; then
  restored=$(grep -o 'country-restored [0-9]*' "$work/sim.out") || {
    echo "The simulated modem received the image, but its country code was not restored." >&2
    exit 1
  }
  echo "The simulated modem received the image byte for byte ($restored)."
else
  echo "The simulated modem did not receive the image. What it saw:" >&2
  sed 's/^/  /' "$work/sim.out" "$work/sim.err" >&2
  exit 1
fi
