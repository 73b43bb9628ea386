#!/usr/bin/env bash
# Writes the seed corpus of message_fuzzer to fuzz/corpus/message/: messages
# made by the openssl tool with the fuzzing identity of this folder, so that the
# fuzzer starts from signatures that verify and envelopes that the identity's
# key opens. The detached signatures cover the content message_fuzzer.cpp uses.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$here/../corpus/message"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"
printf 'quorvel fuzz content: transfer 100.00 to 6222 0000 1234\n' > content.bin
legacy=(-provider legacy -provider default)
id=(-signer "$here/recipient.pem" -inkey "$here/recipient.key")

sign() {  # name, options...
  local name="$1"; shift
  openssl cms -sign -binary "${id[@]}" -in content.bin -outform DER -out "$out/$name" "$@"
}
sign signed-attached-noattr-sha1.p7 -noattr -nosmimecap -md sha1 -nodetach
sign signed-detached-noattr-sha1.p7 -noattr -nosmimecap -md sha1
sign signed-attached-noattr-md5.p7 -noattr -md md5 -nodetach
sign signed-attached-attr-sha256.p7 -md sha256 -nodetach
sign signed-detached-attr-sha512.p7 -md sha512
sign signed-attached-nocerts.p7 -noattr -md sha1 -nodetach -nocerts
sign signed-attached-stream-ber.p7 -noattr -md sha1 -nodetach -stream

for cipher in rc4 rc2 des des3 aes128 aes256; do
  openssl cms -encrypt "${legacy[@]}" -binary "-$cipher" -in content.bin -outform DER \
    -out "$out/enveloped-$cipher.p7" "$here/recipient.pem"
done
openssl cms -encrypt -binary -aes128 -keyid -in content.bin -outform DER \
  -out "$out/enveloped-keyid-aes128.p7" "$here/recipient.pem"

openssl cms -sign -binary "${id[@]}" -noattr -md sha1 -nodetach -in content.bin -outform DER \
  -out inner.p7
openssl cms -encrypt -binary -des3 -in inner.p7 -outform DER \
  -out "$out/signed-then-enveloped-des3.p7" "$here/recipient.pem"
