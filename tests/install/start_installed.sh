#!/usr/bin/env bash
# Starts an installed quilvex and checks that it comes up (and that
# quilvex-cli answers beside it): every library
# resolves, and the program shows its start prompt on a virtual display
# instead of crashing or quitting.
# Usage: start_installed.sh PREFIX
set -euo pipefail
prefix=$1
program="$prefix/bin/quilvex"
[ -x "$program" ] || { echo "not installed: $program" >&2; exit 1; }
[ -f "$prefix/share/applications/quilvex.desktop" ] || { echo "no desktop entry" >&2; exit 1; }
[ -f "$prefix/share/icons/hicolor/48x48/apps/quilvex.png" ] || { echo "no icon" >&2; exit 1; }
"$prefix/bin/quilvex-cli" --version >/dev/null || { echo "quilvex-cli does not run" >&2; exit 1; }
if ldd "$program" | grep -q "not found"; then
  ldd "$program" | grep "not found" >&2
  exit 1
fi

scratch=$(mktemp -d)
. "$(dirname "$0")/../../scripts/xvfb.sh"
pid=""
cleanup() {
  [ -z "$pid" ] || { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
  xvfb_stop
  rm -rf "$scratch"
}
trap cleanup EXIT
# No serial port of this machine is touched.
for n in 1 2 3 4 5 6 7 8 9; do export "QUILVEX_COM$n=$scratch/com$n"; done
cd "$scratch"
xvfb_start
QT_QPA_PLATFORM=xcb "$program" >"$scratch/out" 2>&1 &
pid=$!
# Up means its first window, the start prompt (a box titled "quilvex"), is
# on show while the program still runs.
deadline=$((SECONDS + 60))
until xdotool search --onlyvisible --name '^quilvex$' >/dev/null 2>&1; do
  if ! kill -0 "$pid" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
    kill -0 "$pid" 2>/dev/null && echo "the installed program showed no window within 60 s:" >&2 \
                              || echo "the installed program did not stay up:" >&2
    cat "$scratch/out" >&2
    exit 1
  fi
  sleep 0.1
done
echo "installed program started from $prefix"
