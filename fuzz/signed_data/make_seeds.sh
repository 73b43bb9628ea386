#!/usr/bin/env bash
# Writes the seed corpus of signed_data_fuzzer to fuzz/corpus/signed_data/:
# messages signed by the fuzzing identity (fuzz/message/) with both of the
# control's signing paths and with the openssl tool, each behind the mode byte
# the fuzzer reads first (0 DER, 1 DER to be coded in Base64, 2 DER to be
# compressed and coded, 3 Base64 text as a page sends it).
#   fuzz/signed_data/make_seeds.sh path/to/quorvel
set -euo pipefail

quorvel="$(realpath "$1")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
identity="$here/../message"
out="$here/../corpus/signed_data"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"
content='quorvel hand-built fuzz content\n'
printf "$content" > content.bin

seed() {  # name, mode byte (octal), file
  { printf "\\$2"; cat "$3"; } > "$out/$1"
}

# The openssl tool: the PKCS#7 encoder (NULL digest parameters, the layout the
# parser reads) and the CMS encoder (absent parameters, attributes).
id=(-signer "$identity/recipient.pem" -inkey "$identity/recipient.key")
openssl smime -sign -binary -noattr -md sha1 -nodetach "${id[@]}" -in content.bin -outform DER -out smime-attached.der
openssl smime -sign -binary -noattr -md md5 "${id[@]}" -in content.bin -outform DER -out smime-detached-md5.der
openssl cms -sign -binary -noattr -nosmimecap -md sha1 -nodetach "${id[@]}" -in content.bin -outform DER -out cms-sha1.der
openssl cms -sign -binary -md sha256 -nodetach "${id[@]}" -in content.bin -outform DER -out cms-sha256-attr.der
for f in smime-attached smime-detached-md5 cms-sha1 cms-sha256-attr; do
  seed "$f-der" 000 "$f.der"
  seed "$f-b64" 001 "$f.der"
done
seed smime-attached-compressed 002 smime-attached.der

# The control: hand-built and platform messages through the host.
export QUORVEL_HOME="$work/home" QUORVEL_UI=none
"$quorvel" store import "$identity/recipient.pem" --key "$identity/recipient.key" >/dev/null
"$quorvel" store import "$identity/recipient.pem" --store ROOT >/dev/null
text="$(printf "$content" | sed 's/$/\\n/' | tr -d '\n')"
dn='CN=Quorvel Fuzz Recipient'
call() {  # id, member, args (JSON)
  printf '{"jsonrpc":"2.0","id":%s,"method":"invoke","params":{"object":1,"member":"%s","args":%s}}\n' "$@"
}
{
  printf '{"jsonrpc":"2.0","id":0,"method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}}\n'
  call 1 QVSetPlainText "[\"$text\"]"
  call 2 QVAdvanceAttachedSign "[\"$dn\"]"
  call 3 QVAdvanceDetachedSign "[\"$text\",\"$dn\"]"
  call 4 QVSetPlainText "[\"$text\"]"
  call 5 QVAttachedSign "[\"$dn\"]"
  printf '{"jsonrpc":"2.0","id":6,"method":"invoke","params":{"object":1,"member":"MaxCompSize","kind":"put","args":[1]}}\n'
  call 7 QVSetPlainText "[\"$text\"]"
  call 8 QVAdvanceAttachedSign "[\"$dn\"]"
} | "$quorvel" host --stdio > answers.jsonl
value() {  # id -> the Base64 text of that answer
  python3 -c 'import json,sys
for line in open("answers.jsonl"):
    m = json.loads(line)
    if m.get("id") == int(sys.argv[1]):
        v = m["result"]["value"]
        assert m["result"]["status"] == 0, m
        sys.stdout.write(v)' "$1"
}
for entry in 2:hand-built-attached 3:hand-built-detached 5:platform-attached 8:hand-built-compressed; do
  value "${entry%%:*}" > "${entry#*:}.b64"
  base64 -d "${entry#*:}.b64" > "${entry#*:}.der"
  seed "${entry#*:}-text" 003 "${entry#*:}.b64"
  seed "${entry#*:}-der" 000 "${entry#*:}.der"
done
seed hand-built-attached-b64 001 hand-built-attached.der
seed hand-built-detached-compressed 002 hand-built-detached.der
ls "$out" | wc -l
