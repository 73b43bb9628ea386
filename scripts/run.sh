#!/usr/bin/env bash
# The main job: installs what is missing, builds, fills a fresh platform home
# with the demo PKI, and runs the control in the JSON-RPC host with a scripted
# session (coding, form items, signatures, a digest, a failure), printing each
# request and answer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/setup.sh >&2
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
QUORVEL_HOME="$home" build/tools/quorvel demo-pki >/dev/null
session=docs/demo-session.jsonl
echo "Requests from $session, answers from 'quorvel host --stdio':"
paste -d '\n' "$session" <(QUORVEL_HOME="$home" QUORVEL_UI=none build/tools/quorvel host --stdio <"$session") |
  awk '{ print (NR % 2 ? "-> " : "<- ") $0 }'
