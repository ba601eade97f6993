# Sourced by the Windows GUI test and benchmark: a scratch Wine prefix on a
# virtual X display of its own, with COM1-COM9 mapped to WORK/com1..com9
# (nothing on the machine's real serial ports is touched). A simulator
# started with --link WORK/com4 is the modem on COM4; the others lead nowhere.
#   wine_desktop_start WORK   sets WINEPREFIX, DISPLAY; starts Xvfb and the prefix
#   stop_sim                  ends the simulator whose pid is in sim_pid
#   wine_session_end WORK     ends the simulator, the prefix's programs and
#                             Xvfb, and removes WORK (for an EXIT trap)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_xvfb_pid=""

wine_desktop_start() {
  local work=$1 display=57
  export WINEPREFIX="$work/prefix"
  # A display of our own: the first free number from 57 on.
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  wine_xvfb_pid=$!
  export DISPLAY=":$display"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  [ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start" >&2; return 1; }
  timeout 120 wineboot -i >/dev/null 2>&1
  # Windows drawn by Wine itself (caption, system menu) on a desktop of its own.
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
  # Ports named here replace the ones Wine finds (/dev/ttyS0 would be COM1).
  local n
  for n in 1 2 3 4 5 6 7 8 9; do
    timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$work/com$n" /f >/dev/null 2>&1
  done
  wineserver -k 2>/dev/null || true # the settings hold from the next start
  wineserver -w 2>/dev/null || true
  # One server for the whole run, quiet: it would print its state at the end.
  wineserver -p 2>/dev/null
  for n in 1 2 3 4 5 6 7 8 9; do ln -sfn "$work/com$n" "$WINEPREFIX/dosdevices/com$n"; done
}

sim_pid=""
stop_sim() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; sim_pid=""; fi
}

wine_session_end() {
  stop_sim
  case "${WINEPREFIX:-}" in "$1"/*) wineserver -k >/dev/null 2>&1 || true ;; esac # only our own prefix
  if [ -n "$wine_xvfb_pid" ]; then kill "$wine_xvfb_pid" 2>/dev/null || true; wait "$wine_xvfb_pid" 2>/dev/null || true; fi
  wine_xvfb_pid=""
  rm -rf "$1"
}
