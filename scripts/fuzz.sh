#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (address and undefined
# behaviour checks on) in build-fuzz-clang/ and runs each for the given
# number of seconds (default 60), starting from its checked-in corpus.
# Prints each target's executions, speed, coverage and any crash, and exits
# non-zero if one crashed. New inputs and crash files stay in the build tree.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]{0,5}$ ]]; then
  echo "usage: $0 [seconds]   (a whole number of seconds, at least 1)" >&2
  exit 2
fi

scripts/setup.sh
dir=build-fuzz-clang
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILVEX_FUZZ=ON -DQUILVEX_SANITIZE=ON -DQUILVEX_BUILD_GUI=OFF >/dev/null
if ! grep -q '^CMAKE_CXX_COMPILER:FILEPATH=.*clang' "$dir/CMakeCache.txt"; then
  echo "$dir was set up with another compiler; remove it and run again" >&2
  exit 1
fi

# target:corpus folder[:libFuzzer flags, as qx_add_fuzz_target gives them]
# (an entry with several flags is quoted: it is one word)
targets=(
  fuzz_data_entry:tests/fuzz/corpus/data_entry
  fuzz_reply_rules:tests/fuzz/corpus/reply_rules:-max_len=4096
  "fuzz_sender:tests/fuzz/corpus/sender:-max_len=1024 -entropic_scale_per_exec_time=1"
)
names=()
for t in "${targets[@]}"; do names+=("${t%%:*}"); done
cmake --build "$dir" -j"$(nproc)" --target "${names[@]}"

out="$dir/fuzz-runs"
mkdir -p "$out"
failed=()
final_stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -1; }
printf '%-18s %12s %10s %8s %8s %8s  %s\n' target execs exec/s cov ft corpus result
for t in "${targets[@]}"; do
  IFS=: read -r name corpus flags <<<"$t"
  work="$out/work-$name"
  log="$out/$name.log"
  mkdir -p "$work"
  rm -f "$out/$name-"*
  rc=0
  # shellcheck disable=SC2086 # flags: several words, or none
  "$dir/bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 $flags \
    -print_final_stats=1 -artifact_prefix="$out/$name-" "$work" "$corpus" >"$log" 2>&1 || rc=$?

  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\)\/.*/\1/p' <<<"$last")
  result=ok
  if [ "$rc" -ne 0 ]; then
    result="CRASH (exit $rc)"
    failed+=("$name")
  fi
  printf '%-18s %12s %10s %8s %8s %8s  %s\n' "$name" "$(final_stat number_of_executed_units)" \
    "$(final_stat average_exec_per_sec)" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$result"
done

for name in "${failed[@]}"; do
  echo
  echo "== $name: end of $out/$name.log"
  tail -40 "$out/$name.log"
  ls -d "$out/$name-"* 2>/dev/null | sed 's/^/input that failed: /' || true
done
[ ${#failed[@]} -eq 0 ]
