#!/usr/bin/env bash
# Tests the Windows build under Wine: cross-builds it (scripts/build-windows.sh,
# which also installs what is missing;
# the i686 build only as far as QUILVEX_WIN32_TARGETS says, by default all
# of it, or without wine32 the libraries and the program), makes a scratch
# Wine prefix, and runs on
# win64 the portable logic suites, then the port suites against
# quilvex-modem-sim from the Linux build, each case with its own simulator
# on a pseudo-terminal linked as COM4 (or as the ports the case names).
# COM1-COM9 other than COM4 lead nowhere. Then the same for the i686 build
# under Wine's 32-bit side, which it installs when it can (fewer port
# cases). Every wait has a limit.
# Prints a line per case and a summary; exits non-zero if anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

case_limit=${QUILVEX_WINE_CASE_LIMIT:-240}   # seconds per test case
# QUILVEX_WINE_CASES: a regular expression; only the cases it matches run.

echo "== Wine's 32-bit side (wine32, i386)"
win32_runs=0 wine32_rc=0
if [ "${QUILVEX_WINE32:-1}" != 1 ]; then
  wine32_why="QUILVEX_WINE32 is not 1"
elif scripts/setup.sh wine32; then
  win32_runs=1
else
  wine32_rc=$?
  wine32_why="this machine cannot run 32-bit x86 code, or wine32 could not be installed (see above)"
fi
[ "$wine32_rc" -ne 2 ] || { echo "FAIL: the failed wine32 install could not be undone"; exit 1; }
if [ "$win32_runs" = 1 ]; then
  echo "   installed: the i686 program runs too"
else
  echo "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
  echo "!!! WARNING: the i686 (32-bit) Windows program is built but NOT RUN here:"
  echo "!!! $wine32_why."
  echo "!!! Only the x86_64 program is tested in this run; no i386 package stays."
  echo "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
fi

echo "== Windows builds"
started=$SECONDS
scripts/build-windows.sh win64
if [ -z "${QUILVEX_WIN32_TARGETS+set}" ] && [ "$win32_runs" = 0 ]; then
  QUILVEX_WIN32_TARGETS=qx_product
  cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-i686.cmake" >/dev/null
  if cmake --build build-win32 --target help | grep -qw quilvex; then
    QUILVEX_WIN32_TARGETS="$QUILVEX_WIN32_TARGETS quilvex quilvex-cli"
  fi
fi
QUILVEX_WIN32_TARGETS=${QUILVEX_WIN32_TARGETS:-} scripts/build-windows.sh win32
sim=$root/build/bin/quilvex-modem-sim
replay_tests=$root/build/bin/trace_replay_tests
modem_lines_shim=$root/build/lib/libqx_modem_lines.so
if [ ! -x "$sim" ] || [ "$sim" -ot sim/simulator.cpp ] || [ ! -x "$replay_tests" ] || [ ! -f "$modem_lines_shim" ] ||
   [ "$modem_lines_shim" -ot testing/modem_lines_shim.cpp ]; then
  cmake -S . -B build >/dev/null
  cmake --build build -j"$(nproc)" --target quilvex-modem-sim trace_replay_tests qx_modem_lines
fi
echo "   built in $((SECONDS - started)) s"

work=$(mktemp -d /tmp/quilvex-wine.XXXXXX)
. scripts/wine-desktop.sh
export WINEPREFIX=$root/build-win64/wine
trap 'wine_session_end "$work"' EXIT
path_before=$PATH
wine_loader64 "$work"

echo "== Wine prefix $root/build-win64/wine"
started=$SECONDS
# No port but the simulator's: COM1-COM9 point at $work/com1..com9, of
# which only com4 comes to exist.
wine_prefix_make "$WINEPREFIX" "$work" || { echo "FAIL: no Wine prefix"; exit 1; }
echo "   ready in $((SECONDS - started)) s"

passed=0
failed=()

# run_sim_case EXE NAME [@PORT[,PORT...]] [lines:[PORT[,PORT...]]]
# [SIMULATOR FLAGS...]: one case against a fresh simulator, on COM4 or on
# the ports named (@com12). With lines: the case runs with the modem-lines
# shim preloaded into Wine, and the ports named after it (lines:com1,com2)
# lead to one more terminal with nothing behind it; ports.txt in the
# case's folder names each port's terminal ("COM1 /dev/pts/7").
run_sim_case() {
  local exe=$1 name=$2 port links=(com4) empties=() shim=() empty_pid="" with_lines=0
  shift 2
  if [[ "${1:-}" == @* ]]; then IFS=, read -r -a links <<<"${1#@}"; shift; fi
  if [[ "${1:-}" == lines:* ]]; then
    with_lines=1
    [ -z "${1#lines:}" ] || IFS=, read -r -a empties <<<"${1#lines:}"
    shift
  fi
  local dir=$cases/$name start=$SECONDS rc=0
  mkdir -p "$dir"
  rm -f "$work/com4" "$work/com12"
  if ! start_sim "$work/${links[0]}" "$dir/events.txt" "$dir/sim-stderr.txt" \
    --log "$dir/received.log" --image-out "$dir/image.bin" "$@"; then
    echo "FAIL  $name: the simulator did not start"
    failed+=("$name"); return
  fi
  for port in "${links[@]:1}"; do ln -sfn "$(readlink "$work/${links[0]}")" "$work/$port"; done
  if [ "$with_lines" = 1 ]; then
    if [ ! -f "$modem_lines_shim" ]; then
      stop_sim; echo "FAIL  $name: no modem-lines shim at $modem_lines_shim"; failed+=("$name"); return
    fi
    : >"$dir/ports.txt"
    echo "${links[0]^^} $(readlink "$work/${links[0]}")" >>"$dir/ports.txt"
    if [ ${#empties[@]} -gt 0 ]; then
      rm -f "$work/empty"
      "$sim" --link "$work/empty" --silent >"$dir/empty-events.txt" 2>&1 &
      empty_pid=$!
      for _ in $(seq 300); do [ -L "$work/empty" ] && break; sleep 0.1; done
      for port in "${empties[@]}"; do
        ln -sfn "$(readlink "$work/empty")" "$work/$port"
        echo "${port^^} $(readlink "$work/empty")" >>"$dir/ports.txt"
      done
    fi
    shim=(env "LD_PRELOAD=$modem_lines_shim" "QUILVEX_MODEM_LINES=$dir/modem-lines"
          "QUILVEX_MODEM_LINES_LOG=$dir/modem-lines.log")
  fi
  QX_SIM_DIR="Z:$dir" QX_SAMPLE_DATA_FILE="Z:$root/quilvex.dat" \
    timeout -k 5 "$case_limit" "${shim[@]}" wine "$exe" --gtest_filter="$name" --gtest_brief=1 >"$dir/test.txt" 2>&1 || rc=$?
  stop_sim
  if [ -n "$empty_pid" ]; then
    kill "$empty_pid" 2>/dev/null || true
    wait "$empty_pid" 2>/dev/null || true
    for port in "${empties[@]}"; do rm -f "$work/$port"; done
    rm -f "$work/empty"
  fi
  rm -f "$work/com12"
  if [ "$rc" -eq 0 ] && grep -q "PASSED.* 1 test" "$dir/test.txt"; then
    passed=$((passed + 1))
    echo "ok    $name ($((SECONDS - start)) s)"
  else
    [ "$rc" -eq 124 ] && echo "FAIL  $name: no end after $case_limit s" || echo "FAIL  $name (exit $rc)"
    tr -d '\r' <"$dir/test.txt" | sed 's/^/      /'
    sed 's/^/      sim: /' "$dir/sim-stderr.txt"
    failed+=("$name")
  fi
}

# run_plain_suite EXE: a suite that needs no simulator, all of it at once.
run_plain_suite() {
  local exe=$1 name out start=$SECONDS rc=0
  name=$(basename "$exe" .exe)
  out=$cases/$name.txt
  timeout -k 5 "$case_limit" wine "$exe" --gtest_brief=1 >"$out" 2>&1 || rc=$?
  if [ "$rc" -eq 0 ] && grep -q "PASSED" "$out"; then
    passed=$((passed + 1))
    echo "ok    $name, $(tr -d '\r' <"$out" | grep -o '[0-9]* tests from' | head -1 | cut -d' ' -f1) cases ($((SECONDS - start)) s)"
  else
    [ "$rc" -eq 124 ] && echo "FAIL  $name: no end after $case_limit s" || echo "FAIL  $name (exit $rc)"
    tr -d '\r' <"$out" | sed 's/^/      /'
    failed+=("$name")
  fi
}

# run_sim_suite EXE [CASES]: every case the suite lists (that CASES
# matches), each with its simulator flags.
run_sim_suite() {
  local exe=$1 only=${2:-.} listing count=0
  listing=$(timeout 60 wine "$exe" --sim-cases | tr -d '\r') || { echo "FAIL: $exe did not list its cases"; failed+=("$exe"); return; }
  while IFS=$'\t' read -r -a fields; do
    [ ${#fields[@]} -gt 0 ] || continue
    [[ "${fields[0]}" =~ ${QUILVEX_WINE_CASES:-.} ]] && [[ "${fields[0]}" =~ $only ]] || continue
    run_sim_case "$exe" "${fields[@]}"
    count=$((count + 1))
  done <<<"$listing"
  [ "$count" -gt 0 ] || { echo "FAIL: $exe listed no cases"; failed+=("$exe"); }
}

# run_arch ARCH [CASES]: a build's suites (of the port suite only the cases
# CASES matches), then its program's window end to end and its installer.
run_arch() {
  local arch=$1 only=${2:-.} started=$SECONDS setup installer
  cases=$work/$arch
  mkdir -p "$cases"
  echo "== Windows suites under Wine ($arch)"
  run_plain_suite "$root/build-$arch/bin/win_logic_tests.exe"
  run_plain_suite "$root/build-$arch/bin/win_ui_tests.exe"
  run_sim_suite "$root/build-$arch/bin/win_modem_tests.exe" "$only"
  run_sim_suite "$root/build-$arch/bin/win_cli_tests.exe" "$only"
  echo "   ran in $((SECONDS - started)) s"

  echo "== Windows program ($arch): its window end to end, and its installer"
  started=$SECONDS
  # The newest installer; none is a failure of its own, and the window is
  # still tested.
  setup=$(ls -t "$root"/build-$arch/Quilvex-*-$arch-setup.exe 2>/dev/null | head -1) || true
  installer=()
  if [ -n "$setup" ]; then
    installer=(--installer "$setup")
  else
    echo "FAIL  no installer in build-$arch"
    failed+=("installer ($arch)")
  fi
  if timeout 900 scripts/test-windows-gui.sh "${installer[@]}" "build-$arch" build; then
    passed=$((passed + 1))
  else
    failed+=("test-windows-gui ($arch)")
  fi
  echo "   ran in $((SECONDS - started)) s"
}

run_arch win64
# The 32-bit program: of the port suite, the cases whose code differs by
# pointer size (the back end's handles, overlapped writes, the registry and
# SetupAPI), to keep the run short.
PATH=$path_before
[ "$win32_runs" = 0 ] || run_arch win32 '^Win(Serial|Ports|Transfer)'

echo "== Windows: $passed passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
  printf '   failed: %s\n' "${failed[@]}"
  exit 1
fi
