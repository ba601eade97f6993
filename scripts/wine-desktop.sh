# Sourced by the Windows test scripts and benchmark: the one way we set up a
# scratch Wine prefix, and a virtual X display for the GUI runs. COM1-COM9
# and COM12 are mapped to PORTS/com1..com9 and PORTS/com12 (nothing on the
# machine's real serial ports is touched); a simulator started with --link
# PORTS/com4 is the modem on COM4, the others lead nowhere (Wine lists and
# opens such a port, and fails its set-up: the program takes it as absent).
#   wine_prefix_make PREFIX PORTS  makes a fresh prefix at PREFIX (exported
#                             as WINEPREFIX) with its server running
#   wine_desktop_start WORK   starts Xvfb (DISPLAY) and makes WORK/prefix
#                             with its ports in WORK
#   stop_sim                  ends the simulator whose pid is in sim_pid
#   wine_session_end WORK     ends the simulator, the prefix's programs and
#                             Xvfb, and removes WORK (for an EXIT trap)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_xvfb_pid=""
wine_com_numbers="1 2 3 4 5 6 7 8 9 12"

wine_prefix_make() {
  local prefix=$1 ports=$2 n
  export WINEPREFIX=$prefix
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout 300 wineboot -i >/dev/null 2>&1 || { echo "wineboot did not finish" >&2; return 1; }
  # Windows drawn by Wine itself (caption, system menu) on a desktop of its own.
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
  # Ports named here replace the ones Wine finds whenever its server starts
  # (/dev/ttyS0 would otherwise come back as COM1).
  for n in $wine_com_numbers; do
    timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$ports/com$n" /f >/dev/null 2>&1
  done
  timeout 20 wineserver -k 2>/dev/null || true # the settings hold from the next start
  timeout 20 wineserver -w 2>/dev/null || true
  # One server for the whole run, until it is ended; its device manager
  # makes the ports' links when the first program starts.
  timeout 20 wineserver -p >/dev/null 2>&1
  timeout 60 wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' >/dev/null 2>&1
  for n in $wine_com_numbers; do ln -sfn "$ports/com$n" "$WINEPREFIX/dosdevices/com$n"; done
  # The machine's own ports, which Wine gives the next free numbers (COM10,
  # COM11, ...), lead nowhere too.
  local link
  for link in "$WINEPREFIX"/dosdevices/com*; do
    [ -L "$link" ] && ln -sfn "$ports/${link##*/}" "$link"
  done
}

wine_desktop_start() {
  local work=$1 display=57
  # A display of our own: the first free number from 57 on.
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  wine_xvfb_pid=$!
  export DISPLAY=":$display"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  [ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start" >&2; return 1; }
  wine_prefix_make "$work/prefix" "$work"
}

# TERM, then KILL after 5 s.
sim_pid=""
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

wine_session_end() {
  stop_sim
  case "${WINEPREFIX:-}" in "$1"/*) timeout 20 wineserver -k >/dev/null 2>&1 || true ;; esac # only our own prefix
  if [ -n "$wine_xvfb_pid" ]; then kill "$wine_xvfb_pid" 2>/dev/null || true; wait "$wine_xvfb_pid" 2>/dev/null || true; fi
  wine_xvfb_pid=""
  rm -rf "$1"
}
