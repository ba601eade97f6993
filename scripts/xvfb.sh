# Sourced: a virtual X display of our own. Xvfb picks a free display number
# itself and tells it on a pipe (-displayfd), so two runs never race for one.
#   xvfb_start   starts it and exports DISPLAY once a client can connect;
#                fails if it does not come up within 30 s
#   xvfb_stop    ends it (safe to call twice, or without a start)
xvfb_pid=""
xvfb_number=""

xvfb_start() {
  local attempt
  for attempt in 1 2 3; do
    xvfb_launch || return 1
    # A server that named its display also takes clients; once, in a CI
    # run, a client still found none there. Such a server is replaced.
    if DISPLAY=":$xvfb_number" xdotool getdisplaygeometry >/dev/null 2>&1; then
      export DISPLAY=":$xvfb_number"
      return 0
    fi
    echo "Xvfb on :$xvfb_number took no client (attempt $attempt); starting another" >&2
    xvfb_stop
  done
  echo "no Xvfb took a client in 3 attempts" >&2
  return 1
}

# One server; its display number in xvfb_number. Without -noreset a server
# resets whenever its last client has gone, which is just when the program
# under test connects (the start check's own client has left); a server
# that never resets keeps that moment out of the picture.
xvfb_launch() {
  local fifo
  xvfb_number=""
  fifo=$(mktemp -u /tmp/quilvex-xvfb-XXXXXX)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  # The display number arrives as one line once the server accepts clients.
  read -r -t 30 xvfb_number <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$xvfb_number" ]; then
    echo "Xvfb did not start within 30 s" >&2
    xvfb_stop
    return 1
  fi
}

xvfb_stop() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
}
