#!/usr/bin/env bash
# Runs the control in the stdio host with a scripted session (coding, form
# items, signatures, a digest, a failure) over a fresh demo home, printing each
# request and answer. Expects a built tree (scripts/build.sh build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
QUORVEL_HOME="$home" build/tools/quorvel demo-pki >/dev/null
session=docs/demo-session.jsonl
echo "Requests from $session, answers from 'quorvel host --stdio':"
paste -d '\n' "$session" <(QUORVEL_HOME="$home" QUORVEL_UI=none build/tools/quorvel host --stdio <"$session") |
  awk '{ print (NR % 2 ? "-> " : "<- ") $0 }'
