#!/usr/bin/env bash
# Fails, naming each file, when a C++ file git tracks differs from what
# clang-format makes of it with the project's .clang-format. Fix with:
#   git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
differ=()
while IFS= read -r -d '' file; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || differ+=("$file")
done < <(git ls-files -z '*.cpp' '*.h' '*.c')
if [ ${#differ[@]} -gt 0 ]; then
  echo "check-format: these files differ from clang-format's layout:" >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
echo "check-format: every C++ file is as clang-format lays it out"
