#!/usr/bin/env bash
# End to end on the Windows program's real window: quilvex.exe runs under
# Wine on a virtual X display, the modem simulator sits on a pseudo-terminal
# that the Wine prefix maps to COM4 (COM1-COM3 lead nowhere), and
# quilvex-ui-driver.exe works the windows. The runs:
#   1. a whole upgrade of an image in a folder named with "é" and named
#      with "€" (both in the ANSI code page, 1252 here), with a refused
#      file, a missing one of such a name and the About box on the way; the
#      session's end is answered yes before and no during the transfer;
#   2. a transfer the modem cancels, which ends the program, run with
#      --trace and its writes made to overlap (QUILVEX_TEST_WRITES): the
#      trace says so, and the Linux build's replay (trace_replay_tests)
#      plays it back to the same message; then --trace naming COM4, which
#      is refused before the port is opened;
#   then `quilvex.exe --list-ports` with the simulator on COM4 and COM12;
#   3. a screenshot of the main window (with --screenshot FILE);
#   4. the installer (with --installer SETUP.EXE): installs silently, the
#      installed program starts and shows its first prompt, the uninstaller
#      removes it again.
# Usage: test-windows-gui.sh [--screenshot FILE] [--installer SETUP.EXE] [WIN_BUILD [LINUX_BUILD]]
set -euo pipefail
cd "$(dirname "$0")/.."
shot="" setup=""
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) shot=$(realpath -m "$2"); shift 2 ;;
    --installer) setup=$(realpath "$2"); shift 2 ;;
    *) break ;;
  esac
done
win=$(realpath "${1:-build-win64}")
linux=$(realpath "${2:-build}")
sim="$linux/bin/quilvex-modem-sim"
for f in "$win/bin/quilvex.exe" "$win/bin/quilvex-ui-driver.exe" "$sim" "$linux/bin/trace_replay_tests" \
         "$linux/lib/libqx_modem_lines.so"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "test-windows-gui: missing $f" >&2; exit 1; }
done

work=$(mktemp -d /tmp/quilvex-wingui-XXXXXX)
. scripts/wine-desktop.sh
trap 'wine_session_end "$work"' EXIT
[[ "$win" != *win64 ]] || wine_loader64 "$work"

echo "== Wine prefix"
t0=$SECONDS
wine_desktop_start "$work"
echo "   ready ($((SECONDS - t0)) s)"

run="$work/run"
mkdir -p "$run"
cp quilvex.dat "$run/"
head -c 524288 /dev/urandom >"$run/firmware.dlf"
head -c 524287 "$run/firmware.dlf" >"$run/short.dlf"
mkdir -p "$run/dossier é"
cp "$run/firmware.dlf" "$run/dossier é/fw€.dlf"
cp "$win/bin/quilvex.exe" "$win/bin/quilvex-ui-driver.exe" "$run/"

# The modem on COM4 for one run, with FLAGS.
start_modem() {
  rm -f "$run/received.dlf" "$work/sim.log"
  start_sim "$work/com4" "$work/sim.out" "$work/sim.out" --country 22 --image-out "$run/received.dlf" \
    --log "$work/sim.log" "$@"
}
drive() {
  (cd "$run" && timeout 400 wine quilvex-ui-driver.exe quilvex.exe "$@")
}

prompt='Preparing to detect Modem...\n\nPlease close any other Application Program\n\nDo you want to continue?'
found='(...as reported by modem in COM4:)'

echo "== GUI: a whole upgrade from a non-ASCII path, a refused and a missing file first"
t0=$SECONDS
start_modem
drive "box:ok:$prompt" main "expect:1009:$found" "expect:1006: Country #" expect:1007:22 \
  expect:1003:V2.301-V90_2M_DLP "expect:1004:DRAVIK 56K RevC" expect:1001:firmware.dlf about \
  set:1001:short.dlf click:1 'box:ok:Firmware size must be 512K bytes!' "expect:1009:$found" \
  'set:1001:dossier é\absent€.dlf' click:1 'box:ok:Cannot open the file!' endsession:1 \
  'set:1001:dossier é\fw€.dlf' click:1 busy 'box:ok:Successfully upgraded the firmware!' exit:0
stop_sim
for n in 1 2 3; do # Wine still maps them where we said, not to the machine's ports
  [ "$(readlink "$WINEPREFIX/dosdevices/com$n")" = "$work/com$n" ] || { echo "COM$n was remapped by Wine" >&2; exit 1; }
done
cmp "$run/dossier é/fw€.dlf" "$run/received.dlf" || { echo "the simulated modem did not receive the image" >&2; exit 1; }
grep -qa 'AT\*NC22&F' "$work/sim.log" || { echo "AT*NC22&F never reached the modem" >&2; exit 1; }
echo "   image received byte for byte, AT*NC22&F on the wire ($((SECONDS - t0)) s)"

echo "== GUI: the modem cancels the transfer, the run traced, its writes overlapped"
t0=$SECONDS
start_modem --can-packet 3
mkdir -p "$run/traces"
QUILVEX_TEST_WRITES=overlapped drive "args:--trace traces\\cancel.trace" "box:ok:$prompt" main \
  expect:1001:firmware.dlf click:1 'box:ok:Transmission Aborted!\n\n*** Transfer canceled by REMOTE ***' exit:0
stop_sim
grep -q ' stream end overlapped$' "$run/traces/cancel.trace" ||
  { echo "the trace does not say the transfer's writes overlapped" >&2; exit 1; }
if grep -qa 'AT\*NC' "$work/sim.log"; then echo "a country code was sent after a failed transfer" >&2; exit 1; fi
echo "   ended with the cancel message, nothing restored ($((SECONDS - t0)) s)"
# The Linux replay plays the Windows program's trace back to the same end.
[ -s "$run/traces/cancel.trace" ] || { echo "the Windows program wrote no trace" >&2; exit 1; }
QX_TRACE_DIR="$run/traces" timeout 300 "$linux/bin/trace_replay_tests" --gtest_filter='Folder/KeptTrace.*' \
  --gtest_brief=1 >"$work/replay.txt" 2>&1 || { cat "$work/replay.txt" >&2; exit 1; }
echo "   its trace ($(stat -c %s "$run/traces/cancel.trace") bytes) says overlapped and replays on Linux to the same message"

echo "== GUI: --trace naming a port is refused, the port's lines untouched"
start_modem
# The modem-lines shim watches the port's terminal: nothing may read or set
# its lines.
echo "$(readlink "$work/com4") cts dcd" >"$work/modem-lines"
rm -f "$work/modem-lines.log"
(export LD_PRELOAD=$linux/lib/libqx_modem_lines.so QUILVEX_MODEM_LINES=$work/modem-lines \
   QUILVEX_MODEM_LINES_LOG=$work/modem-lines.log
 drive "args:--trace COM4" 'box:ok:The trace file cannot be created:\nCOM4\n\nIt exists and is not a regular file.\n\nThe program ends without using any port.' exit:0)
stop_sim
if [ -s "$work/sim.log" ]; then echo "the program wrote to COM4" >&2; exit 1; fi
if [ -s "$work/modem-lines.log" ]; then
  echo "COM4's lines were touched:" >&2; cat "$work/modem-lines.log" >&2; exit 1
fi
echo "   refused; nothing written to the port, its lines untouched"

echo "== --list-ports: the ports present, COM4 and COM12"
t0=$SECONDS
start_modem
ln -sfn "$(readlink "$work/com4")" "$work/com12"
(cd "$run" && timeout 120 wine quilvex.exe --list-ports) >"$work/ports.out" 2>"$work/ports.err" ||
  { echo "--list-ports failed" >&2; cat "$work/ports.err" >&2; exit 1; }
stop_sim
rm -f "$work/com12"
tr -d '\r' <"$work/ports.out" >"$work/ports.txt"
grep -qx 'COM4  .*  (you may open it)' "$work/ports.txt" &&
  grep -qx 'COM12  .*  (you may open it; above COM9, not searched)' "$work/ports.txt" &&
  [ "$(wc -l <"$work/ports.txt")" -eq 2 ] || { echo "--list-ports printed:" >&2; cat "$work/ports.txt" >&2; exit 1; }
echo "   both listed, nothing else ($((SECONDS - t0)) s)"

if [ -n "$shot" ]; then
  echo "== GUI: screenshot of the main window"
  start_modem
  rm -f "$run/shot.done"
  drive "box:ok:$prompt" main "expect:1009:$found" ready:shot.done click:2 exit:0 >"$work/driver.out" 2>&1 &
  driver=$!
  for _ in $(seq 600); do grep -q READY "$work/driver.out" 2>/dev/null && break; sleep 0.1; done
  grep -q READY "$work/driver.out" || { echo "FAIL: the window was not ready in 60 s" >&2; cat "$work/driver.out" >&2; exit 1; }
  sleep 1 # the window's first paint after its texts: a screenshot, not a check
  geometry=$(sed -n 's/^READY \([0-9x+-]*\).*/\1/p' "$work/driver.out")
  import -window root -crop "$geometry" +repage "$shot"
  touch "$run/shot.done"
  wait "$driver" || { cat "$work/driver.out" >&2; exit 1; }
  stop_sim
  echo "   $shot"
fi

if [ -n "$setup" ]; then
  echo "== installer: silent install, start, uninstall"
  t0=$SECONDS
  timeout 300 wine "$setup" /S
  # A 32-bit installer on 64-bit Windows installs into "Program Files (x86)".
  programs="Program Files"
  [ -d "$WINEPREFIX/drive_c/Program Files (x86)/Quilvex" ] && programs="Program Files (x86)"
  dir="$WINEPREFIX/drive_c/$programs/Quilvex"
  for f in quilvex.exe quilvex.dat README.txt Uninstall.exe; do
    [ -f "$dir/$f" ] || { echo "the installer did not install $f" >&2; ls -la "$dir" >&2 || true; exit 1; }
  done
  link=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Quilvex/Quilvex.lnk' | head -1)
  [ -n "$link" ] || { echo "no Start-menu shortcut" >&2; exit 1; }
  # The installed program, started in its folder as the shortcut does: its
  # first prompt shows; Cancel ends it.
  (cd "$dir" && timeout 120 wine "$run/quilvex-ui-driver.exe" "C:\\$programs\\Quilvex\\quilvex.exe" \
    "box:cancel:$prompt" exit:0)
  timeout 120 wine "C:\\$programs\\Quilvex\\Uninstall.exe" /S
  # The uninstaller finishes from a copy of itself: wait for it, with a limit.
  for _ in $(seq 300); do [ -e "$dir/quilvex.exe" ] || break; sleep 0.1; done
  [ ! -e "$dir/quilvex.exe" ] || { echo "the uninstaller left quilvex.exe behind" >&2; exit 1; }
  echo "   installed, started, uninstalled ($((SECONDS - t0)) s)"
fi
