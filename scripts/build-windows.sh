#!/usr/bin/env bash
# Cross-builds the Windows form of the control with mingw-w64 (i686):
#   scripts/build-windows.sh [BUILD_DIR]   (default build-windows)
# Needs what scripts/setup.sh installs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-windows}"
cmake -S "$root/windows" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  --toolchain "$root/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
cmake --build "$build" -j 2
