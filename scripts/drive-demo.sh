#!/usr/bin/env bash
# Runs the program on a virtual display and answers it with key presses as
# a person would: Enter at the start prompt, Enter for Upgrade (the data
# file already named the image), Enter at the result. Screenshots go to $2.
# Usage: drive-demo.sh PROGRAM OUT_DIR   (run from the data file's folder)
set -euo pipefail
program=$1
out=$2

if [ -z "${QX_ON_DISPLAY:-}" ]; then
  exec env QX_ON_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# A screenshot of the whole virtual display, where ImageMagick is installed.
shot() { if command -v import >/dev/null; then import -window root "$out/$1.png" 2>/dev/null || true; fi; }

# Waits up to $2 seconds for a window whose title matches $1; prints its id.
wait_window() {
  local id=""
  for _ in $(seq $(( $2 * 10 ))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Gives the window the keyboard focus and presses Enter, as a person would.
press_enter() {
  xdotool windowfocus "$1" 2>/dev/null || true
  sleep 0.3
  xdotool key Return
}

"$program" &
pid=$!

echo "== the start prompt"
prompt=$(wait_window '^quilvex$' 15) || { echo "no start prompt appeared" >&2; kill $pid; exit 1; }
sleep 0.5; shot 1-prompt
press_enter "$prompt"

echo "== discovery (COM1 to COM4)"
main=$(wait_window 'Flash Memory Upgrade Utility' 30) || { echo "the main window did not appear" >&2; kill $pid; exit 1; }
sleep 0.5; shot 2-main-window
press_enter "$main"

echo "== the upgrade (512 packets)"
sleep 3; shot 3-transfer
result=$(wait_window '^quilvex$' 180) || { echo "no result message appeared" >&2; kill $pid; exit 1; }
sleep 0.5; shot 4-result
press_enter "$result"
wait $pid
echo "Screenshots: $out"
