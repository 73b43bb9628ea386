#!/usr/bin/env bash
# Drives `quorvel host --stdio` as a page would and checks its answers.
#   scripts/host_session_check.sh path/to/quorvel
set -euo pipefail
quorvel="$1"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT

expected='{"id":2,"jsonrpc":"2.0","result":{"status":0,"value":"YWJj\n"}}'
actual="$(printf '%s\n%s\n' \
  '{"jsonrpc":"2.0","id":1,"method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}}' \
  '{"jsonrpc":"2.0","id":2,"method":"invoke","params":{"object":1,"member":"QVBase64Encode","kind":"method","args":["abc"]}}' |
  QUORVEL_HOME="$home" QUORVEL_UI=none "$quorvel" host --stdio | sed -n 2p)"
if [[ "$actual" != "$expected" ]]; then
  echo "host session: expected $expected" >&2
  echo "host session: got      $actual" >&2
  exit 1
fi

# Garbage and end of input end the session cleanly with status 0.
printf 'not json\n{"jsonrpc":"2.0"' | QUORVEL_HOME="$home" "$quorvel" host --stdio >/dev/null
echo "host session: 1 passed, 0 failed"
