#!/usr/bin/env bash
# Fails, naming the files, when any C++ source of the tree differs from what
# clang-format makes of it under .clang-format. `clang-format -i FILE` mends one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
differing=()
for source in "${sources[@]}"; do
  if ! clang-format --dry-run --Werror "$source" >/dev/null 2>&1; then differing+=("$source"); fi
done
if ((${#differing[@]} > 0)); then
  echo "check-format: these differ from .clang-format:" >&2
  printf '  %s\n' "${differing[@]}" >&2
  exit 1
fi
echo "check-format: ${#sources[@]} files as .clang-format has them"
