#!/usr/bin/env bash
# widl (Debian's 7.0 and 8.0) writes the last byte of a type library's own
# identifier wrongly when the library holds a coclass; every other
# identifier comes out right. This puts back the identifier the definition
# names, in the one place the library keeps it.
#   restore-library-id.sh TYPE-LIBRARY {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
set -euo pipefail
library="$1"
hex="$(printf '%s' "$2" | tr -d '{}-' | tr 'A-F' 'a-f')"
[[ ${#hex} -eq 32 ]] || { echo "restore-library-id: not an identifier: $2" >&2; exit 2; }
# The first three fields are stored least significant byte first.
reversed() { printf '%s' "$1" | sed 's/../& /g' | awk '{for (i = NF; i > 0; i--) printf "%s", $i}'; }
stored="$(reversed "${hex:0:8}")$(reversed "${hex:8:4}")$(reversed "${hex:12:4}")${hex:16:16}"
pattern="$(printf '%s' "${stored:0:30}" | sed 's/../\\x&/g')"
offset="$(LC_ALL=C grep -obUaP "$pattern" "$library" | head -n 1 | cut -d: -f1)"
if [[ -z "$offset" ]]; then
  echo "restore-library-id: $2 is not in $library" >&2
  exit 1
fi
printf "\\x${stored:30:2}" | dd of="$library" bs=1 seek=$((offset + 15)) conv=notrunc status=none
