#!/usr/bin/env bash
# Runs the program on a virtual display and answers it with key presses as
# a person would: Enter at the start prompt, Enter for Upgrade (the data
# file already named the image), Enter at the result. Screenshots go to $2.
# Every wait has a limit; when nothing shows up it names the windows on
# show, keeps a picture of the screen and fails.
# Usage: drive-demo.sh PROGRAM OUT_DIR   (run from the data file's folder)
set -euo pipefail
program=$1
out=$2

if [ -z "${QX_ON_DISPLAY:-}" ]; then
  exec env QX_ON_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

if command -v import >/dev/null; then
  shot() { import -window root "$out/$1.png" 2>/dev/null || echo "screenshot $1 could not be taken" >&2; }
else
  echo "Screenshots skipped: ImageMagick's import is not installed."
  shot() { :; }
fi

# Waits up to $2 seconds for a visible window whose title matches $1;
# prints its id.
wait_window() {
  local id="" deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Ends the run with $1, naming every window on show (a message box is the
# one titled "quilvex") and, where it can, keeping a picture of the screen.
fail() {
  echo "$1" >&2
  local id
  for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null || true); do
    echo "on show: window \"$(xdotool getwindowname "$id" 2>/dev/null || echo '?')\"" >&2
  done
  shot failure
  command -v import >/dev/null && echo "The screen at that moment: $out/failure.png" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
}

# Waits up to $2 seconds for a message box ($1 says which); prints its id.
# Which box it is shows in what follows: the simulator's record is checked
# after the run.
expect_box() {
  wait_window '^quilvex$' "$2" || fail "no $1 appeared within $2 s"
}

# Gives window $1 the keyboard focus and presses Enter, as a person would.
press_enter() {
  timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key Return
}

"$program" &
pid=$!

echo "== the start prompt"
prompt=$(expect_box "start prompt" 30)
shot 1-prompt
press_enter "$prompt"

echo "== discovery (COM1 to COM4)"
main=$(wait_window 'Flash Memory Upgrade Utility' 60) || fail "the main window did not appear within 60 s"
shot 2-main-window
press_enter "$main"

echo "== the upgrade (512 packets)"
sleep 3 # not a wait for anything: the moment of the picture
shot 3-transfer
result=$(expect_box "result message" 300)
shot 4-result
press_enter "$result"

deadline=$((SECONDS + 30))
while kill -0 "$pid" 2>/dev/null; do
  [ $SECONDS -lt $deadline ] || fail "the program did not end within 30 s of the result"
  sleep 0.1
done
wait "$pid" || fail "the program ended with status $?"
command -v import >/dev/null && echo "Screenshots: $out"
exit 0
