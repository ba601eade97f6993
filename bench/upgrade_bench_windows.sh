#!/usr/bin/env bash
# How close the Windows program's whole upgrade comes to the line's limit,
# under Wine: quilvex.exe, driven through its window, upgrades the simulator
# paced at 115200 bit/s 8N1; then lrzsz's `sx -k` sends the same image over
# the same kind of line. Prints the figures; judges nothing.
#
# Both transfers are timed on the simulator's side, the same way: from the
# moment its loader sends the start character (its "loader-start" event
# plus the start delay) to its acknowledgement of EOT ("command-mode").
# Usage: bench/upgrade_bench_windows.sh [WIN_BUILD [LINUX_BUILD]]
set -euo pipefail
shopt -s inherit_errexit # a missing event inside $(...) ends the run, not just the substitution
cd "$(dirname "$0")/.."
win=$(realpath "${1:-build-win64}")
linux=$(realpath "${2:-build}")
sim="$linux/bin/quilvex-modem-sim"
rate=115200
our_delay_ms=80    # the simulator's default start delay
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
  start_sim "$work/$name" "$work/$name.events" "$work/$name.stderr" --line-rate "$rate" \
    --image-out "$work/$name.bin" "$@"
}
event_time() { # NAME EVENT
  local t
  for _ in $(seq 100); do
    t=$(awk -v e="$2" '$2 == e { print $1; exit }' "$work/$1.events")
    [ -n "$t" ] && { echo "$t"; return; }
    sleep 0.05
  done
  echo "no $2 event from the simulator" >&2
  exit 1
}
transfer_seconds() { # NAME DELAY_MS
  local loader acked
  loader=$(event_time "$1" loader-start)
  acked=$(event_time "$1" command-mode)
  awk -v a="$acked" -v l="$loader" -v d="$2" 'BEGIN { printf "%.2f", a - l - d / 1000 }'
}

wine_desktop_start "$work"
mkdir -p "$work/run"
head -c 524288 /dev/urandom >"$work/run/firmware.dlf"
cp quilvex.dat "$work/run/" # names firmware.dlf; the simulator answers as it expects
cp "$win/bin/quilvex.exe" "$win/bin/quilvex-ui-driver.exe" "$work/run/"

# ---- the Windows program, through its window ----
start_line com4 --start-delay "$our_delay_ms" # the modem on COM4
prompt='Preparing to detect Modem...\n\nPlease close any other Application Program\n\nDo you want to continue?'
(cd "$work/run" && timeout 600 wine quilvex-ui-driver.exe quilvex.exe "box:ok:$prompt" main click:1 \
  'box:ok:Successfully upgraded the firmware!' exit:0 >/dev/null)
stop_sim
cmp -s "$work/run/firmware.dlf" "$work/com4.bin" || { echo "the image our upgrade delivered differs" >&2; exit 1; }
ours=$(transfer_seconds com4 "$our_delay_ms")

# ---- sx -k to the same kind of line ----
start_line sx --start-delay "$sx_delay_ms"
exec 3<>"$work/sx"
printf 'AT~D1\r\n' >&3
exec 3>&-
timeout 300 sx -k "$work/run/firmware.dlf" <"$work/sx" >"$work/sx" 2>/dev/null
stop_sim
cmp -s "$work/run/firmware.dlf" "$work/sx.bin" || { echo "the image sx delivered differs" >&2; exit 1; }
sx=$(transfer_seconds sx "$sx_delay_ms")

awk -v ours="$ours" -v sx="$sx" -v rate="$rate" 'BEGIN {
  wire = 512 * (3 + 1024 + 2) + 1; limit = wire / (rate / 10)
  printf "Full upgrade of 524288 bytes over a simulated %d bit/s line, Windows program under Wine\n", rate
  printf "  line-rate limit (%d bytes at %d bytes/s)  %8.2f s\n", wire, rate / 10, limit
  printf "  ours (quilvex.exe): transfer             %8.2f s\n", ours
  printf "  sx -k: transfer                          %8.2f s\n", sx
  printf "  our efficiency (limit / our transfer)    %8.3f\n", limit / ours
  printf "  our transfer / sx transfer               %8.3f\n", ours / sx
}'
