# Sourced: a virtual X display of our own. Xvfb picks a free display number
# itself and tells it on a pipe (-displayfd), so two runs never race for one.
#   xvfb_start   starts it and exports DISPLAY; fails if it does not come up
#                within 30 s
#   xvfb_stop    ends it (safe to call twice, or without a start)
xvfb_pid=""

xvfb_start() {
  local fifo number=""
  fifo=$(mktemp -u /tmp/quilvex-xvfb-XXXXXX)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  # The display number arrives as one line once the server accepts clients.
  read -r -t 30 number <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$number" ]; then
    echo "Xvfb did not start within 30 s" >&2
    xvfb_stop
    return 1
  fi
  export DISPLAY=":$number"
}

xvfb_stop() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
}
