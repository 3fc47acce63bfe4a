#!/usr/bin/env bash
# Fails unless the executable carries the progress dialog, the icon group, the version and the
# manifest resources. Usage: check-resources.sh <exe> <x86_64|i686>
set -euo pipefail
exe=$1
arch=$2
listing=$("$arch-w64-mingw32-windres" -i "$exe" -O rc 2>/dev/null)
missing=0
check() {
  if grep -qE "$2" <<<"$listing"; then
    echo "resources: $exe has $1"
  else
    echo "resources: $exe LACKS $1" >&2
    missing=1
  fi
}
check "dialog 101 (style 0x80c808c0, 187 x 52)" '^101 DIALOGEX 0, 0, 187, 52'
check "status item 1001 (0x50020000)" 'LTEXT .*, 1001, 7, 7, 173, 30, 0x50020000'
check "icon group 104" 'Type: group icon'
check "version resource" 'Type: version'
check "application manifest" 'Type: 24'
grep -q 'requireAdministrator' "$exe" || { echo "resources: manifest lacks requireAdministrator" >&2; missing=1; }
exit "$missing"
