#!/usr/bin/env bash
# Runs unit-test programs of a build under valgrind's memcheck. A program fails
# on any memory error or definite leak; the other leak kinds are only shown.
# Not part of CI: memcheck makes the suite many times slower.
#   scripts/valgrind.sh [BUILD_DIR [PROGRAM...]]
# PROGRAM is a test program's name (plain_text_tests); without any, every
# *_tests program of the build runs. VALGRIND_GTEST_FILTER narrows the tests run
# inside each program. Programs that need the demo home get one made here.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
shift || true

command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 2; }

programs=()
if (($# > 0)); then
  for name in "$@"; do
    found="$(find "$build" -type f -perm -u+x -name "$name" -print -quit)"
    [[ -n "$found" ]] || { echo "no test program $name in $build" >&2; exit 2; }
    programs+=("$found")
  done
else
  mapfile -t programs < <(find "$build" -type f -perm -u+x -name '*_tests' | sort)
fi

# The demo-home tests read homes that `quorvel demo-pki` fills once per run.
for demo_home in "$build/certs/demo-home" "$build/engine/demo-home"; do
  if [[ ! -f "$demo_home/quorvel.db" && -x "$build/tools/quorvel" ]]; then
    rm -rf "$demo_home"
    QUORVEL_HOME="$demo_home" "$build/tools/quorvel" demo-pki >/dev/null
  fi
done

logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT
failed=()
# A test program that replaces the global operator new and delete (to measure
# allocations) keeps its own: memcheck then watches the malloc and free they
# call instead of pairing its own new with their free.
for program in "${programs[@]}"; do
  name="$(basename "$program")"
  echo "== $name (at ${SECONDS}s)"
  if QUORVEL_UI=none valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=30 \
    --soname-synonyms=somalloc=nouserintercepts \
    --log-file="$logs/$name.log" \
    "$program" --gtest_brief=1 --gtest_filter="${VALGRIND_GTEST_FILTER:-*}" >"$logs/$name.out" 2>&1; then
    grep -h "ERROR SUMMARY" "$logs/$name.log" | tail -1
  else
    failed+=("$name")
    tail -n 20 "$logs/$name.out"
    # The first reports; the whole log would drown the others.
    head -n 150 "$logs/$name.log"
  fi
done

if ((${#failed[@]} > 0)); then
  echo "memcheck failed: ${failed[*]}" >&2
  exit 1
fi
echo "memcheck clean: ${#programs[@]} programs"
