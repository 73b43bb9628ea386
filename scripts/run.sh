#!/usr/bin/env bash
# The main job: installs what is missing, builds what it runs (the program,
# the native host, the module and the web files; not the tests), gives the
# platform home the demo PKI when it holds no certificate of its own yet,
# writes this user's native-messaging host manifests for the browser
# extension and says how to load it, and starts the browser bridge on
# 127.0.0.1:27455 (QUORVEL_PORT changes the port). Open the printed demo page
# in a browser and sign with the chooser; Ctrl-C stops the bridge.
#
# The home is the usual one (QUORVEL_HOME, else $XDG_DATA_HOME/quorvel, else
# ~/.local/share/quorvel). Dialogs are Qt's when a display is available; set
# QUORVEL_UI=script (see docs/ui-script.md) for unattended runs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/setup.sh >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "${QUORVEL_JOBS:-2}" --target quorvel quorvel-native-host >&2

quorvel=build/tools/quorvel
if [[ -z "$("$quorvel" store list --store MY)" ]]; then
  echo "run: the platform home has no certificates yet; adding the demo PKI" >&2
  "$quorvel" demo-pki >&2
  # Zhang San also receives envelopes, so the demo page can seal one for him.
  own="$(mktemp)"
  sha1="$("$quorvel" store list --store MY | awk '/^\[MY\]/ { t = $2 } /subject: +CN=Zhang San,/ { print t; exit }')"
  "$quorvel" store export --store MY --out "$own" "$sha1"
  "$quorvel" store import "$own" --store AddressBOOK >&2
  rm -f "$own"
fi
# Pages with the extension reach the control through it; the others through
# the bridge.
"$quorvel" browser install >&2
# The bridge takes this process's place, so that Ctrl-C and SIGTERM reach it.
exec "$quorvel" host --listen "127.0.0.1:${QUORVEL_PORT:-27455}"
