#!/usr/bin/env bash
# The whole test suite built with address, leak and undefined-behaviour
# checks, in build-asan/. Any finding fails the run. Undefined behaviour
# ends the process at once (the build makes it fatal); address and leak
# reports from every process, also one whose test passed anyway (such as a
# modem simulator a test started and stopped), go to a log folder that must
# stay empty, and are printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh build-asan -DQUILVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
leaks=1
# Leak checking stops the process to scan it; where the sandbox forbids
# that it cannot work at all, and is turned off rather than failing
# every test.
probe=$(ASAN_OPTIONS=detect_leaks=1 build-asan/bin/link_tests --gtest_filter=-* 2>&1 || true)
if grep -q "LeakSanitizer has encountered a fatal error" <<<"$probe"; then
  echo "WARNING: leak checking cannot run here; running without it" >&2
  leaks=0
fi
export ASAN_OPTIONS="detect_leaks=$leaks:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$logs/asan"
export LSAN_OPTIONS="print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen

start=$(date +%s)
rc=0
(cd build-asan && ctest --output-on-failure -j"$(nproc)" --timeout 300) || rc=$?
echo "== sanitizer suite: $(( $(date +%s) - start )) s"

reports=("$logs"/*)
if [ -e "${reports[0]}" ]; then
  echo "== sanitizer reports (${#reports[@]})"
  for r in "${reports[@]}"; do
    echo "-- ${r##*/}"
    cat "$r"
  done
  rc=1
fi
exit "$rc"
