#!/usr/bin/env bash
# Fails, naming each function, when any function of the C++ sources compiled
# in BUILD_DIR (default build) is above the cognitive complexity .clang-tidy
# allows. Needs the build's compile_commands.json; generated sources are left
# out.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
cd "$root"

mapfile -t sources < <(python3 - "$build/compile_commands.json" "$build" <<'PY'
import json, sys
entries = json.load(open(sys.argv[1]))
build = sys.argv[2].rstrip('/') + '/'
print('\n'.join(sorted({e['file'] for e in entries if not e['file'].startswith(build)})))
PY
)
report="$(mktemp)"
trap 'rm -f "$report"' EXIT
status=0
printf '%s\n' "${sources[@]}" |
  xargs -P "${QUORVEL_JOBS:-2}" -n 4 clang-tidy -p "$build" --quiet --extra-arg=-w >"$report" 2>&1 ||
    status=$?
if grep -q "cognitive complexity" "$report"; then
  echo "check-complexity: functions above the threshold of .clang-tidy:" >&2
  grep "cognitive complexity" "$report" | sed "s|^$root/||" | sort -u >&2
  exit 1
fi
if ((status != 0)); then
  cat "$report" >&2
  exit "$status"
fi
echo "check-complexity: ${#sources[@]} sources, every function within the threshold"
