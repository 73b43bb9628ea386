#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Quorvel.
# Idempotent and quick when everything is present: apt-get runs only for
# packages that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format clang-tidy libclang-rt-14-dev pkg-config
  libssl-dev openssl zlib1g-dev gzip libsqlite3-dev libicu-dev
  nlohmann-json3-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-websockets-dev qt6-qpa-plugins fonts-wqy-microhei xdg-utils
  chromium firefox-esr softhsm2 opensc libp11-kit-dev
  xvfb openbox xdotool x11-utils imagemagick tesseract-ocr tesseract-ocr-eng
  python3-cryptography-vectors
  g++-mingw-w64-i686-posix mingw-w64-tools libz-mingw-w64-dev libwine-dev
  wine wine64 wine32:i386
)
# Node.js for the browser tests: Debian's, unless the machine has one already.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then packages+=(nodejs npm); fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

# The package lists, refreshed. A list the machine kept from an earlier
# refresh can name an index newer than the mirror serves; such a suite's lists
# are fetched again from scratch.
refresh_package_lists() {
  local log
  log="$(mktemp)"
  if "${sudo_cmd[@]}" apt-get update -qq >"$log" 2>&1 && ! grep -q '^E:' "$log"; then
    rm -f "$log"
    return
  fi
  cat "$log" >&2
  local host suite
  for suite in $(sed -n '/^E:/s|.*http://\([^ ]*\)/dists/\([^/]*\)/.*|\1/dists/\2|p' "$log" | sort -u); do
    host="${suite%%/dists/*}"
    echo "setup: fetching the lists of ${suite} again" >&2
    "${sudo_cmd[@]}" sh -c "rm -f /var/lib/apt/lists/${host//\//_}_dists_${suite##*/dists/}_*"
  done
  rm -f "$log"
  "${sudo_cmd[@]}" apt-get update -qq
}

if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  # 32-bit Wine runs the Windows tests.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  refresh_package_lists
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Playwright's driver library for the browser tests, web-ext (which loads the
# extension into Firefox) and the TypeScript compiler that reads the client's
# declarations, from npm; the browsers are Debian's chromium and firefox-esr,
# never downloaded ones.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [[ -f "$root/web/tests/package.json" && ( ! -d "$root/web/tests/node_modules/playwright-core" ||
  ! -d "$root/web/tests/node_modules/typescript" || ! -d "$root/web/tests/node_modules/web-ext" ) ]]; then
  echo "setup: installing the browser tests' npm packages"
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm install --prefix "$root/web/tests" --no-audit --no-fund \
    --loglevel=error
fi
