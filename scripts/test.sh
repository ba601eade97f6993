#!/usr/bin/env bash
# The whole test suite from a fresh Debian 12 machine: installs what it
# needs, builds, runs every test, then runs the link tests once more as an
# ordinary user, so nothing works only for root.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh build

export QT_QPA_PLATFORM=offscreen
(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 300)

scripts/test-package.sh

if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  echo "== link tests as an ordinary user"
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  cp build/bin/link_tests "$scratch/"
  chmod 755 "$scratch" "$scratch/link_tests"
  (cd "$scratch" && setpriv --reuid=nobody --regid=nogroup --clear-groups ./link_tests --gtest_brief=1)
fi
