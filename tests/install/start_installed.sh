#!/usr/bin/env bash
# Starts an installed quilvex and checks that it comes up: every library
# resolves, and the program is still running (waiting at its start prompt)
# after a few seconds instead of having crashed or quit.
# Usage: start_installed.sh PREFIX
set -euo pipefail
prefix=$1
program="$prefix/bin/quilvex"
[ -x "$program" ] || { echo "not installed: $program" >&2; exit 1; }
[ -f "$prefix/share/applications/quilvex.desktop" ] || { echo "no desktop entry" >&2; exit 1; }
[ -f "$prefix/share/icons/hicolor/48x48/apps/quilvex.png" ] || { echo "no icon" >&2; exit 1; }
if ldd "$program" | grep -q "not found"; then
  ldd "$program" | grep "not found" >&2
  exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# No serial port of this machine is touched.
for n in 1 2 3 4 5 6 7 8 9; do export "QUILVEX_COM$n=$scratch/com$n"; done
cd "$scratch"
QT_QPA_PLATFORM=offscreen "$program" >"$scratch/out" 2>&1 &
pid=$!
sleep 3
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid" || true
  echo "the installed program did not stay up:" >&2
  cat "$scratch/out" >&2
  exit 1
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
echo "installed program started from $prefix"
