#!/bin/sh
# install_test.sh BUILD_DIR CLIENT_SOURCE LIBDIR CC
set -eu
build="$1" source="$2" libdir="$3" cc="$4"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/quorvel"
test -f "$prefix/include/quorvel/quorvel.h"
grep -q "^ExecStart=.*/quorvel host --listen 127.0.0.1:27455$" "$prefix/lib/systemd/user/quorvel-bridge.service"
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
module="$(pkg-config --variable=module quorvel)"
test -f "$module"
# shellcheck disable=SC2046
"$cc" -std=c11 -Wall -Werror -o "$prefix/client" "$source" $(pkg-config --cflags --libs quorvel) -ldl
QUORVEL_HOME="$prefix/home" LD_LIBRARY_PATH="$prefix/$libdir" "$prefix/client" "$module"
"$prefix/bin/quorvel" --version | grep -q "$(pkg-config --modversion quorvel)"
echo "installed, built against and ran: ok"
