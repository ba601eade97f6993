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
#   start_sim, stop_sim       the simulator (scripts/sim.sh; set sim first)
#   wine_loader64 WORK        makes `wine` (and the tools started through
#                             wine-stable) use Wine's 64-bit loader, for the
#                             x86_64 program, whatever else is installed
#   wine_session_end WORK     ends the simulator, the server of the prefix
#                             made here, Xvfb, and removes WORK (for an
#                             EXIT trap)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_com_numbers="1 2 3 4 5 6 7 8 9 12"

wine_loader64() {
  local bin=$1/wine64-bin
  [ -x /usr/lib/wine/wine64 ] || return 0
  mkdir -p "$bin"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$bin/$name"
    chmod +x "$bin/$name"
  done
  export PATH="$bin:$PATH"
}

# `wine reg add ARGS...`, tried up to three times: once, in a loaded CI run,
# one of a row of these failed while the ones before it had gone through.
# Returns the last try's status.
wine_reg_add() {
  local try status=0
  for try in 1 2 3; do
    timeout 60 wine reg add "$@" /f >/dev/null 2>&1 && return 0
    status=$?
    echo "wine reg add $1 /v $3: status $status (try $try)" >&2
  done
  return $status
}

wine_prefix_make() {
  local prefix=$1 ports=$2 n
  export WINEPREFIX=$prefix
  wine_prefix_made=$prefix
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout 300 wineboot -i >/dev/null 2>&1 || { echo "wineboot did not finish" >&2; return 1; }
  # Windows drawn by Wine itself (caption, system menu) on a desktop of its own.
  # Callers run this left of ||, where set -e does not apply: every step
  # that matters is checked here.
  wine_reg_add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default &&
    wine_reg_add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 ||
    { echo "wine reg add (the desktop) failed" >&2; return 1; }
  # Ports named here replace the ones Wine finds whenever its server starts
  # (/dev/ttyS0 would otherwise come back as COM1).
  for n in $wine_com_numbers; do
    wine_reg_add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$ports/com$n" ||
      { echo "wine reg add (COM$n) failed" >&2; return 1; }
  done
  # The settings hold from the next start; a server already gone is fine.
  timeout 20 wineserver -k 2>/dev/null || true
  timeout 20 wineserver -w 2>/dev/null || true
  # One server for the whole run, until it is ended; its device manager
  # makes the ports' links when the first program starts.
  timeout 20 wineserver -p >/dev/null 2>&1 || { echo "wineserver -p did not start" >&2; return 1; }
  # Any program starts it; the map may be empty, so its answer is not checked.
  timeout 60 wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' >/dev/null 2>&1 || true
  for n in $wine_com_numbers; do ln -sfn "$ports/com$n" "$WINEPREFIX/dosdevices/com$n"; done
  # The machine's own ports, which Wine gives the next free numbers (COM10,
  # COM11, ...), lead nowhere too.
  local link
  for link in "$WINEPREFIX"/dosdevices/com*; do
    [ -L "$link" ] && ln -sfn "$ports/${link##*/}" "$link"
  done
}

wine_desktop_start() {
  xvfb_start
  wine_prefix_make "$1/prefix" "$1"
}

wine_prefix_made=""
. "$(dirname "${BASH_SOURCE[0]}")/sim.sh"
. "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

wine_session_end() {
  stop_sim
  if [ -n "$wine_prefix_made" ]; then
    WINEPREFIX=$wine_prefix_made timeout 20 wineserver -k >/dev/null 2>&1 || true
  fi
  xvfb_stop
  rm -rf "$1"
}
