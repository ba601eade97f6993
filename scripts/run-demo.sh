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
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# No real serial port is touched: COM1..COM9 point into the scratch folder,
# and only COM4 has a modem behind it.
for n in 1 2 3 4 5 6 7 8 9; do export "QUILVEX_COM$n=$work/com$n"; done
rm -f "$out/received.dlf"
"$bin/quilvex-modem-sim" --link "$work/com4" --country 22 --image-out "$out/received.dlf" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 300); do [ -e "$work/com4" ] && break; sleep 0.1; done
[ -e "$work/com4" ] || { echo "the modem simulator did not start within 30 s" >&2; exit 1; }

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
  sed 's/^/  /' "$work/sim.out" >&2
  exit $status
fi

if cmp -s "$work/firmware.dlf" "$out/received.dlf"; then
  echo "The simulated modem received the image byte for byte ($(grep -o 'country-restored [0-9]*' "$work/sim.out" || echo 'country not restored'))."
else
  echo "The simulated modem did not receive the image. What it saw:" >&2
  sed 's/^/  /' "$work/sim.out" >&2
  exit 1
fi
