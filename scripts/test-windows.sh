#!/usr/bin/env bash
# Runs the Windows tests under Wine, in a private 32-bit prefix that is
# removed afterwards:
#   scripts/test-windows.sh [BUILD_DIR]   (default build-windows)
# BUILD_DIR is what scripts/build-windows.sh built. The module is loaded by a
# host of its own, registered with regsvr32, driven from JScript through
# cscript with the script UI answering its dialogs, and unregistered.
# KEEP_WINE_TEST=1 keeps the prefix and the tests' files for a look afterwards.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build-windows}" && pwd)"

work="$(mktemp -d)"
export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all
# No .NET or HTML engine is wanted, nor the prompts to install them.
export WINEDLLOVERRIDES="mscoree,mshtml="
xserver=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [[ -n "$xserver" ]] && kill "$xserver" 2>/dev/null
  [[ -n "${KEEP_WINE_TEST:-}" ]] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

# A Unix path as Windows programs under Wine name it (drive Z: is /).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

failures=0
check() {
  local what="$1"
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

wineboot --init >/dev/null 2>&1
module="$(windows_path "$build/VemlorQuorvel20.DLL")"

# Two certificates made by openssl, which also reads the values to compare.
certificates="$work/certificates"
mkdir -p "$certificates"
for name in ca other; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$certificates/$name.key" -days 30 \
    -subj "/CN=Quorvel test $name" -addext "basicConstraints=critical,CA:TRUE" \
    -set_serial 0x00C1A2B3 -outform DER -out "$certificates/$name.der" 2>/dev/null
done
sha1="$(openssl x509 -inform DER -in "$certificates/ca.der" -noout -fingerprint -sha1 |
  sed 's/.*=//; s/://g' | tr 'A-F' 'a-f')"
# The serial number's content octets: a leading zero keeps it positive.
check "the platform rooms from below" wine "$build/platform_test.exe" \
  "$(windows_path "$certificates/ca.der")" "$(windows_path "$certificates/other.der")" \
  "$sha1" 00c1a2b3

# A signer issued by the test CA, its key in a container of the enhanced
# provider and its certificate in MY, as an enrolment leaves them.
openssl x509 -inform DER -in "$certificates/ca.der" -out "$certificates/ca.pem"
openssl req -new -newkey rsa:2048 -nodes -keyout "$certificates/signer.key" \
  -subj "/CN=Quorvel signer" -out "$certificates/signer.csr" 2>/dev/null
openssl x509 -req -in "$certificates/signer.csr" -CA "$certificates/ca.pem" \
  -CAkey "$certificates/ca.key" -set_serial 0x1001 -days 30 -outform DER \
  -out "$certificates/signer.der" 2>/dev/null
openssl rsa -in "$certificates/signer.key" -outform MSBLOB -out "$certificates/signer.blob" \
  2>/dev/null
check "the test CA goes into ROOT" wine "$build/add_identity.exe" ROOT \
  "$(windows_path "$certificates/ca.der")"
check "a signing identity goes into MY" wine "$build/add_identity.exe" MY \
  "$(windows_path "$certificates/signer.der")" "$(windows_path "$certificates/signer.blob")" \
  quorvel-signer
check "the signer's certificate goes into AddressBOOK, as a peer's" \
  wine "$build/add_identity.exe" AddressBOOK "$(windows_path "$certificates/signer.der")"

# Signers whose signatures do not pass the signer checks, issued by openssl's
# CA: an expired one, one revoked by the test CA's CRL (in ROOT, beside the
# CA), one whose issuer no store holds; a certificate in MY with no key, a
# signer whose key is a signature key and one named in Chinese over three
# name parts, both also in AddressBOOK.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$certificates/elsewhere.key" -days 30 \
  -subj "/CN=Quorvel elsewhere ca" -addext "basicConstraints=critical,CA:TRUE" \
  -out "$certificates/elsewhere.pem" 2>/dev/null
cat >"$certificates/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $certificates/index.txt
new_certs_dir = $certificates
serial = $certificates/serial
default_md = sha256
default_crl_days = 30
policy = supplied
[supplied]
countryName = optional
organizationName = optional
commonName = supplied
CNF
: >"$certificates/index.txt"
echo 2001 >"$certificates/serial"
issue() { # NAME ISSUER [openssl ca options]
  local name="$1" issuer="$2"
  shift 2
  openssl req -new -newkey rsa:2048 -nodes -keyout "$certificates/$name.key" -utf8 \
    -subj "${subject:-/CN=Quorvel $name}" -out "$certificates/$name.csr" 2>/dev/null &&
    openssl ca -batch -notext -utf8 -preserveDN -config "$certificates/ca.cnf" -cert "$certificates/$issuer.pem" \
      -keyfile "$certificates/$issuer.key" -in "$certificates/$name.csr" \
      -out "$certificates/$name.pem" "$@" 2>/dev/null &&
    openssl x509 -in "$certificates/$name.pem" -outform DER -out "$certificates/$name.der" &&
    openssl rsa -in "$certificates/$name.key" -outform MSBLOB -out "$certificates/$name.blob" \
      2>/dev/null
}
issue expired ca -startdate 20200101000000Z -enddate 20210101000000Z
issue revoked ca -days 30
issue orphan elsewhere -days 30
issue keyless ca -days 30
issue signature ca -days 30
subject="/C=CN/O=Quorvel/CN=张三" issue zhang ca -days 30
# openssl writes every key blob as an exchange key; this one is a signature key.
printf '\x00\x24' | dd of="$certificates/signature.blob" bs=1 seek=4 conv=notrunc 2>/dev/null
openssl ca -config "$certificates/ca.cnf" -cert "$certificates/ca.pem" \
  -keyfile "$certificates/ca.key" -revoke "$certificates/revoked.pem" 2>/dev/null
openssl ca -gencrl -config "$certificates/ca.cnf" -cert "$certificates/ca.pem" \
  -keyfile "$certificates/ca.key" -out "$certificates/ca.crl.pem" 2>/dev/null
openssl crl -in "$certificates/ca.crl.pem" -outform DER -out "$certificates/ca.crl"
for name in expired revoked orphan signature zhang; do
  check "the $name signer goes into MY" wine "$build/add_identity.exe" MY \
    "$(windows_path "$certificates/$name.der")" "$(windows_path "$certificates/$name.blob")" \
    "quorvel-$name"
done
for name in signature zhang; do
  check "the $name signer's certificate goes into AddressBOOK, as a peer's" \
    wine "$build/add_identity.exe" AddressBOOK "$(windows_path "$certificates/$name.der")"
done
check "a certificate without a key goes into MY" wine "$build/add_identity.exe" MY \
  "$(windows_path "$certificates/keyless.der")"
check "the test CA's CRL goes into ROOT" wine "$build/add_identity.exe" ROOT \
  "$(windows_path "$certificates/ca.crl")"

class='HKCR\CLSID\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}'

check "an in-process host loads the module" wine "$build/module_host_test.exe" "$module"

check "regsvr32 registers the module" wine regsvr32 /s "$module"
registered() { wine reg query "$1" "${@:2}" >/dev/null 2>&1; }
stub_path() { wine reg query "$class\\CtlSettings" /v stubPath 2>/dev/null | grep -qF 'c:\quorvelStub\'; }
check "the class's server is the module" \
  sh -c "wine reg query '$class\\InprocServer32' /ve 2>/dev/null | grep -qiF 'VemlorQuorvel20.DLL'"
check "the class's stubPath setting" stub_path
check "the versioned programmatic identifier" registered 'HKCR\Quorvel.DrennicQuorvel2.1\CLSID'
check "the version-independent programmatic identifier" registered 'HKCR\Quorvel.DrennicQuorvel2\CurVer'
check "the type library" registered 'HKCR\TypeLib\{0C4F8A21-5D3E-4B6A-8F17-93E2B5C0D4A8}\1.0'

# Server mode saves received files into the folder stubPath names.
stub="$work/stub"
mkdir -p "$stub"
wine reg add "$class\\CtlSettings" /v stubPath /d "$(windows_path "$stub")\\" /f >/dev/null 2>&1
check "received files are saved under names the platform can hold" \
  env QUORVEL_TEST_SEAMS=1 wine "$build/module_host_test.exe" "$module" "$(windows_path "$stub")\\"

files="$work/files"
mkdir -p "$files"
printf 'hello' >"$files/item.txt"
# Signing for an unknown DN opens the chooser, which is cancelled; signing
# by no serial number opens it again and its first row is taken; signing
# with a signature key by a DN whose holder has an exchange key opens it a
# third time, and it is cancelled; the Open dialog picks item.txt, then is
# cancelled; the Save dialog names where a signature's file, a verified
# file's content and an encrypted file go.
json_path() { windows_path "$1" | sed 's/\\/\\\\/g'; }
cat >"$work/ui.json" <<JSON
{"answers": [{"dialog": "chooser", "actions": ["cancel"]},
             {"dialog": "chooser", "actions": [{"select": 0}, "ok"]},
             {"dialog": "chooser", "actions": ["cancel"]},
             {"dialog": "open", "path": "$(json_path "$files/item.txt")"},
             {"dialog": "open", "cancel": true},
             {"dialog": "save", "path": "$(json_path "$files/received.txt")"},
             {"dialog": "save", "path": "$(json_path "$files/statement.txt")"},
             {"dialog": "save", "path": "$(json_path "$files/sealed")"}]}
JSON
# openssl's own signature of the text's bytes in code page 936, and the same
# message with one byte of its content changed.
printf '\xd6\xd0\xce\xc4 text' >"$work/text.936"
openssl x509 -inform DER -in "$certificates/signer.der" -out "$certificates/signer.pem"
openssl cms -sign -binary -noattr -nodetach -signer "$certificates/signer.pem" \
  -inkey "$certificates/signer.key" -in "$work/text.936" -outform DER -out "$work/peer.der"
perl -0777 -pe 's/ text/ texT/' "$work/peer.der" >"$work/tampered.der"
base64 -w 64 "$work/peer.der" >"$files/statement.txt.sign"
openssl dgst -sha1 -sign "$certificates/signer.key" -out "$work/peer.raw" "$work/text.936"
peer_envelopes=()
for cipher in rc4 des3 aes128 aes256 rc2 des; do
  openssl cms -encrypt -provider legacy -provider default -binary "-$cipher" -in "$work/text.936" \
    -outform DER -out "$work/peer-$cipher.p7m" "$certificates/signer.pem"
  peer_envelopes+=("$cipher=$(base64 -w0 "$work/peer-$cipher.p7m")")
done
run_script() {
  env QUORVEL_PEER_SIGNATURE="$(base64 -w0 "$work/peer.der")" \
    QUORVEL_PEER_RAW_SIGNATURE="$(base64 -w0 "$work/peer.raw")" \
    QUORVEL_PEER_ENVELOPES="${peer_envelopes[*]}" \
    QUORVEL_TAMPERED_SIGNATURE="$(base64 -w0 "$work/tampered.der")" \
    QUORVEL_SIGNER_CERTIFICATE="$(base64 -w0 "$certificates/signer.der")" \
    QUORVEL_SIGNATURE_SERIAL="$(openssl x509 -in "$certificates/signature.pem" -noout -serial |
      sed 's/.*=//')" \
    QUORVEL_UI=script QUORVEL_UI_SCRIPT="$(windows_path "$work/ui.json")" \
    QUORVEL_UI_LOG="$(windows_path "$work/ui.log")" QUORVEL_TEST_FILES="$(windows_path "$files")" \
    wine cscript //nologo "$(windows_path "$root/windows/tests/control_script.js")" >"$work/script.out"
  local status=$?
  tr -d '\r' <"$work/script.out" |
    grep -v -e '^[A-Za-z0-9+/=]*$' -e 'SIGNATURE$' -e 'HAND-BUILT$' -e '^ENVELOPE' || true
  return "$status"
}
check "JScript drives the control through cscript" run_script
# What the control signed, verified by openssl against the test CA: the
# content is the text's bytes in code page 936.
signature_verifies() { # MARK: the signature between BEGIN MARK and END MARK
  tr -d '\r' <"$work/script.out" | sed -n "/^BEGIN $1\$/,/^END $1\$/p" |
    sed '1d;$d' | base64 -d >"$work/signature.der" &&
    openssl cms -verify -inform DER -in "$work/signature.der" -CAfile "$certificates/ca.pem" \
      -out "$work/signed.txt" 2>/dev/null &&
    cmp -s "$work/signed.txt" <(printf '\xd6\xd0\xce\xc4 text')
}
check "openssl verifies the control's signature against the test CA" signature_verifies SIGNATURE
check "openssl verifies the hand-built path's signature against the test CA" \
  signature_verifies HAND-BUILT
# What the control enveloped, opened by openssl with the recipient's key.
# Not RC4: the message functions give it NULL parameters, which openssl
# refuses (it writes and reads an empty OCTET STRING).
envelopes_open() {
  local name envelope opened=0
  while read -r _ name envelope; do
    [[ "$name" == rc4 ]] && continue
    base64 -d <<<"$envelope" >"$work/envelope-$name.der" &&
      openssl cms -decrypt -provider legacy -provider default -inform DER \
        -in "$work/envelope-$name.der" -inkey "$certificates/signer.key" \
        -recip "$certificates/signer.pem" -out "$work/opened-$name.txt" 2>/dev/null &&
      cmp -s "$work/opened-$name.txt" "$work/text.936" || { echo "openssl cannot open $name"; return 1; }
    opened=$((opened + 1))
  done < <(tr -d '\r' <"$work/script.out" | grep '^ENVELOPE ')
  ((opened == 5))
}
check "openssl opens the control's envelopes in each cipher" envelopes_open
dialogs_shown() {
  local kind
  for kind in chooser open save; do printf '%s ' "$(grep -c "\"kind\":\"$kind\"" "$work/ui.log")"; done
}
check "the chooser was shown three times, the Open dialog twice, the Save dialog three times" \
  test "$(dialogs_shown)" = "3 2 3 "
check "the file inside a signature is saved as the Save dialog named it" \
  cmp -s "$files/received.txt" "$files/item.txt"
check "the verified file's content is saved as the Save dialog named it" \
  cmp -s "$files/statement.txt" "$work/text.936"
sealed_opens() {
  base64 -d "$files/sealed.cry" >"$work/sealed.der" &&
    openssl cms -decrypt -provider legacy -provider default -inform DER -in "$work/sealed.der" \
      -inkey "$certificates/signer.key" -recip "$certificates/signer.pem" 2>/dev/null |
    cmp -s - "$files/item.txt"
}
check "openssl opens the file the control encrypted and saved" sealed_opens

# The platform's own dialogs, on an X display of the test's, answered with
# the keyboard as a user answers them (xdotool): the Open dialog picks
# item.txt; in the chooser the view button with nothing selected brings the
# platform's message, then the first row is taken; the Save dialog names
# where the verified file's content goes.
visible_window() { # NAME: the id of the first visible window so named, waiting up to a minute
  local id attempt
  for attempt in $(seq 600); do
    id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "$root_window" | head -1)"
    [[ -n "$id" ]] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window named '$1' appeared" >&2
  return 1
}
focus() { # NAME: gives the keyboard to the window so named
  local id
  id="$(visible_window "$1")" && xdotool windowfocus --sync "$id" && sleep 0.3
}
answer() { focus "$1" && xdotool key --delay 50 "${@:2}"; }           # NAME KEYS...
type_into() { focus "$1" && xdotool type --delay 10 "$2" && xdotool key Return; } # NAME TEXT
desktop_dialogs() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$work/display" 2>/dev/null &
  xserver=$!
  local attempt
  for attempt in $(seq 100); do [[ -s "$work/display" ]] && break || sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")"
  # Wine's own processes started without a display: they start again on this one.
  wineserver -k 2>/dev/null
  wineserver -w
  root_window="$(xdotool search --maxdepth 0 --name '' 2>/dev/null | head -1)"
  env -u QUORVEL_UI QUORVEL_TEST_FILES="$(windows_path "$files")" \
    wine cscript //nologo "$(windows_path "$root/windows/tests/desktop_dialogs.js")" \
    >"$work/desktop.out" 2>/dev/null &
  local script=$!
  type_into '^Open$' "$(windows_path "$files/item.txt")" &&
    answer '请选择您要用的证书' Tab space &&
    answer '^$' Return &&
    answer '请选择您要用的证书' shift+Tab Down Return &&
    type_into '^Save$' "$(windows_path "$files/desktop.txt")"
  local answered=$?
  wait "$script"
  kill "$xserver" 2>/dev/null
  xserver=""
  tr -d '\r' <"$work/desktop.out"
  ((answered == 0)) && tr -d '\r' <"$work/desktop.out" | grep -qx 'open 0' &&
    tr -d '\r' <"$work/desktop.out" | grep -q '^chooser 0 [A-Z]*=' &&
    tr -d '\r' <"$work/desktop.out" | grep -qx 'save 0' &&
    cmp -s "$files/desktop.txt" "$work/text.936"
}
check "the platform's Open dialog, chooser and Save dialog, answered with the keyboard" \
  desktop_dialogs

check "regsvr32 /u unregisters the module" wine regsvr32 /u /s "$module"
check "the class key is gone" sh -c "! wine reg query '$class' >/dev/null 2>&1"
check "the programmatic identifiers are gone" \
  sh -c "! wine reg query 'HKCR\\Quorvel.DrennicQuorvel2' >/dev/null 2>&1 &&
         ! wine reg query 'HKCR\\Quorvel.DrennicQuorvel2.1' >/dev/null 2>&1"
check "the type library is unregistered" \
  sh -c "! wine reg query 'HKCR\\TypeLib\\{0C4F8A21-5D3E-4B6A-8F17-93E2B5C0D4A8}\\1.0' >/dev/null 2>&1"
check "the CLSID root key stays" registered 'HKCR\CLSID'

if ((failures > 0)); then
  echo "test-windows: $failures check(s) failed"
  exit 1
fi
echo "test-windows: all checks passed"
