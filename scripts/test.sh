#!/usr/bin/env bash
# Installs what is missing, checks the sources' format, cross-builds the
# Windows form and tests it under Wine, then builds and runs every test: the
# normal build (and every function's complexity), the host session check, the
# browser tests in headless Chromium (screenshots in build/artifacts/), the
# whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer, and
# a short fuzzing run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

phase() { echo "== $* (at ${SECONDS}s)"; }

scripts/setup.sh

phase "format"
scripts/check-format.sh

phase "Windows build (i686 mingw-w64) and its tests under Wine"
scripts/build-windows.sh build-windows
scripts/test-windows.sh build-windows

phase "build and test (RelWithDebInfo)"
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build -j 2 --output-on-failure

phase "complexity (clang-tidy over the build's sources)"
scripts/check-complexity.sh build

phase "host session"
scripts/host_session_check.sh build/tools/quorvel

phase "browser tests (headless Chromium and Firefox ESR)"
QUORVEL_PROGRAM="$root/build/tools/quorvel" \
  node --test web/tests/

phase "build and test under ASan and UBSan"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j 2 --output-on-failure

phase "short fuzzing run"
FUZZ_SECONDS="${FUZZ_SECONDS:-10}" fuzz/run_short.sh

phase "all tests passed"
