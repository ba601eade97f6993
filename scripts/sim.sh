# Sourced: the modem simulator for the scripts, started and stopped one way.
#   start_sim LINK OUT ERR [FLAGS...]
#       starts "$sim" (the quilvex-modem-sim to run) with --link LINK and
#       FLAGS in the background (pid in sim_pid), its stdout in OUT and its
#       stderr in ERR (may be the same file); with sim_stamp=1 each line it
#       prints is prefixed with the time it was printed ($EPOCHREALTIME).
#       Returns once the link exists and the simulator has printed its pty;
#       fails, saying why, if it ends first or after sim_start_limit
#       seconds (30: generous for a loaded machine).
#   stop_sim    ends it: TERM, then KILL after 5 s (safe to repeat)
sim_pid=""
sim_start_limit=${sim_start_limit:-30}
sim_stamp=${sim_stamp:-0}

sim_stamp_lines() { while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done; }

start_sim() {
  local link=$1 out=$2 err=$3 deadline
  shift 3
  stop_sim
  rm -f "$link"
  if [ "$sim_stamp" = 1 ]; then
    "$sim" --link "$link" "$@" > >(sim_stamp_lines >"$out") 2>"$err" &
  elif [ "$out" = "$err" ]; then
    "$sim" --link "$link" "$@" >"$out" 2>&1 &
  else
    "$sim" --link "$link" "$@" >"$out" 2>"$err" &
  fi
  sim_pid=$!
  deadline=$((SECONDS + sim_start_limit))
  until [ -L "$link" ] && [ -s "$out" ]; do
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "the modem simulator ended before its line was ready:" >&2
      sed 's/^/  /' "$err" >&2
      wait "$sim_pid" 2>/dev/null || true
      sim_pid=""
      return 1
    fi
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "the modem simulator did not start within $sim_start_limit s:" >&2
      sed 's/^/  /' "$err" >&2
      stop_sim
      return 1
    fi
    sleep 0.05
  done
}

stop_sim() {
  [ -n "$sim_pid" ] || return 0
  kill -TERM "$sim_pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}
