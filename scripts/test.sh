#!/usr/bin/env bash
# The whole test suite from a fresh Debian 12 machine: installs what it
# needs, checks the docs' links and the C++ layout (clang-format), builds,
# and runs
#   1. every test (unit, simulator, window, end-to-end, install);
#   2. the Debian package check (as root: install, start, remove);
#   3. the Windows build: cross-built for x86_64 and i686, each program's
#      suites, window and installer run under Wine against the simulator
#      (scripts/test-windows.sh); the i686 one only on a machine that runs
#      32-bit code, which machines like CI's do not (a banner says so);
#   4. the link tests, the refused-port discovery test and the demo upgrade
#      again as an ordinary user, so nothing works only for root;
#   5. the whole suite again under AddressSanitizer/UndefinedBehaviorSanitizer;
#   6. each fuzz target for 20 seconds.
# QUILVEX_QUICK=1 stops after step 4.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/check-links.sh
scripts/setup.sh
scripts/check-format.sh
scripts/build.sh build

echo "== the test suite"
export QT_QPA_PLATFORM=offscreen
(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 300)

echo "== the Debian package"
scripts/test-package.sh

echo "== the Windows build, tested under Wine"
scripts/test-windows.sh

if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  mkdir "$scratch/bin" "$scratch/scripts"
  cp build/bin/link_tests build/bin/identify_refusal_tests build/bin/quilvex build/bin/quilvex-modem-sim "$scratch/bin/"
  cp scripts/run-demo.sh scripts/drive-demo.sh scripts/sim.sh "$scratch/scripts/"
  cp quilvex.dat "$scratch/"
  chmod -R a+rX "$scratch"
  chmod a+rwx "$scratch"
  as_user() { (cd "$scratch" && setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$scratch" "$@"); }
  echo "== link tests as an ordinary user"
  as_user ./bin/link_tests --gtest_brief=1
  echo "== discovery's word on refused and busy ports as an ordinary user"
  as_user ./bin/identify_refusal_tests --gtest_brief=1
  echo "== the demo upgrade as an ordinary user"
  (unset DISPLAY QT_QPA_PLATFORM; as_user scripts/run-demo.sh bin quilvex.dat "$scratch/demo-out")
  rm -rf build/demo-out && cp -r "$scratch/demo-out" build/demo-out && rm -f build/demo-out/received.dlf
  if ls build/demo-out/*.png >/dev/null 2>&1; then echo "The demo's screenshots: build/demo-out/"; fi
fi

[ "${QUILVEX_QUICK:-0}" = 1 ] && exit 0

echo "== the test suite under the sanitizers"
scripts/test-sanitize.sh

echo "== fuzzing, 20 s a target"
scripts/fuzz.sh 20
