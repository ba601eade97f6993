#!/usr/bin/env bash
# How close the Windows program's whole upgrade comes to the line's limit,
# under Wine: quilvex.exe, driven through its window, upgrades the simulator
# paced at 115200 bit/s 8N1: as the port chooses (as shipped), with each
# byte's write call waited for (the synchronous path, on a port opened
# without overlapped I/O) and with the writes overlapped; then lrzsz's
# `sx -k` sends the same image over the same kind of line.
# Prints the figures; judges nothing.
#
# Every transfer is timed on the simulator's side the same way as in the
# Linux benchmark (bench/upgrade_bench.cpp): from the first packet header's
# arrival to the EOT's acknowledgement leaving it, so that neither sender's
# pause after the start character is counted.
# Usage: bench/upgrade_bench_windows.sh [WIN_BUILD [LINUX_BUILD]]
set -euo pipefail
shopt -s inherit_errexit # a missing event inside $(...) ends the run, not just the substitution
cd "$(dirname "$0")/.."
win=$(realpath "${1:-build-win64}")
linux=$(realpath "${2:-build}")
sim="$linux/bin/quilvex-modem-sim"
rate=115200
sx_delay_ms=1000   # sx is waiting before the start character goes

work=$(mktemp -d /tmp/quilvex-winbench-XXXXXX)
. scripts/wine-desktop.sh
trap 'wine_session_end "$work"' EXIT

# The simulator on the line WORK/NAME with ARGS; its events, each with the
# time it was printed, in WORK/NAME.events.
sim_stamp=1
start_line() { # NAME ARGS...
  local name=$1
  shift
  start_sim "$work/$name" "$work/$name.events" "$work/$name.stderr" --line-rate "$rate" --timing \
    --image-out "$work/$name.bin" "$@"
}
transfer_seconds() { # NAME: first header .. EOT acknowledged, by the simulator's clock
  local t
  for _ in $(seq 100); do
    t=$(awk '$2 == "header" && !h { h = $3 } $2 == "eot-acked" { e = $3 }
             END { if (h && e) printf "%.2f", (e - h) / 1e6 }' "$work/$1.events")
    [ -n "$t" ] && { echo "$t"; return; }
    sleep 0.05
  done
  echo "no complete transfer in the simulator's events" >&2
  exit 1
}

wine_desktop_start "$work"
mkdir -p "$work/run"
head -c 524288 /dev/urandom >"$work/run/firmware.dlf"
cp quilvex.dat "$work/run/" # names firmware.dlf; the simulator answers as it expects
cp "$win/bin/quilvex.exe" "$win/bin/quilvex-ui-driver.exe" "$work/run/"

# ---- the Windows program, through its window, in each way of writing ----
prompt='Preparing to detect Modem...\n\nPlease close any other Application Program\n\nDo you want to continue?'
ours() { # NAME WRITES: QUILVEX_TEST_WRITES for the program
  start_line "$1" # the modem on COM4
  ln -sfn "$(readlink "$work/$1")" "$work/com4"
  (cd "$work/run" && QUILVEX_TEST_WRITES=$2 timeout 1200 wine quilvex-ui-driver.exe quilvex.exe "box:ok:$prompt" main \
    click:1 'box:ok:Successfully upgraded the firmware!' exit:0 >/dev/null)
  stop_sim
  rm -f "$work/com4"
  cmp -s "$work/run/firmware.dlf" "$work/$1.bin" || { echo "the image our upgrade delivered ($2) differs" >&2; exit 1; }
  transfer_seconds "$1"
}
chosen=$(ours chosen "")
sync=$(ours sync plain)
overlapped=$(ours overlapped overlapped)

# ---- sx -k to the same kind of line ----
start_line sx --start-delay "$sx_delay_ms"
exec 3<>"$work/sx"
printf 'AT~D1\r\n' >&3
exec 3>&-
timeout 300 sx -k "$work/run/firmware.dlf" <"$work/sx" >"$work/sx" 2>/dev/null
stop_sim
cmp -s "$work/run/firmware.dlf" "$work/sx.bin" || { echo "the image sx delivered differs" >&2; exit 1; }
sx=$(transfer_seconds sx)

awk -v chosen="$chosen" -v sync="$sync" -v ov="$overlapped" -v sx="$sx" -v rate="$rate" 'BEGIN {
  wire = 512 * (3 + 1024 + 2) + 1; limit = wire / (rate / 10)
  printf "Full upgrade of 524288 bytes over a simulated %d bit/s line, Windows program under Wine\n", rate
  printf "Transfers timed from the first packet header to the EOT acknowledged\n"
  printf "  line-rate limit (%d bytes at %d bytes/s)     %8.2f s\n", wire, rate / 10, limit
  printf "  quilvex.exe, as the port chooses: transfer    %8.2f s   (efficiency %.3f)\n", chosen, limit / chosen
  printf "  quilvex.exe, synchronous writes: transfer     %8.2f s   (efficiency %.3f)\n", sync, limit / sync
  printf "  quilvex.exe, overlapped writes: transfer      %8.2f s   (efficiency %.3f)\n", ov, limit / ov
  printf "  sx -k: transfer                               %8.2f s   (efficiency %.3f)\n", sx, limit / sx
  printf "  chosen / sx, synchronous / sx, overlapped / sx  %.3f / %.3f / %.3f\n", chosen / sx, sync / sx, ov / sx
}'
