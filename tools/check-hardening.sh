#!/usr/bin/env bash
# Fails unless the executable is a release build as shipped: ASLR (dynamic base with its
# relocations kept, high-entropy addresses on x64), DEP (NX compatible), and no debug
# information or symbol table left in it, only the link to its separate .debug file.
# Usage: check-hardening.sh <exe> <x86_64|i686>
set -euo pipefail
exe=$1
arch=$2
headers=$("$arch-w64-mingw32-objdump" -p "$exe")
sections=$("$arch-w64-mingw32-objdump" -h "$exe")
failed=0
check() {  # check <what> <command...>
  local what=$1
  shift
  if "$@"; then
    echo "hardening: $exe: $what: yes"
  else
    echo "hardening: $exe: $what: NO" >&2
    failed=1
  fi
}
flag() { grep -qE "^[[:space:]]+$1\$" <<<"$headers"; }
section() { grep -qE "^ +[0-9]+ $1 " <<<"$sections"; }
no_section() { ! grep -qE "^ +[0-9]+ $1" <<<"$sections"; }
relocatable() { section '\.reloc' && ! flag 'relocations stripped'; }

check "ASLR flag (DYNAMIC_BASE)" flag DYNAMIC_BASE
check "relocations kept for ASLR (.reloc)" relocatable
if [ "$arch" = x86_64 ]; then
  check "64-bit ASLR flag (HIGH_ENTROPY_VA)" flag HIGH_ENTROPY_VA
fi
check "DEP flag (NX_COMPAT)" flag NX_COMPAT
check "debug sections removed" no_section '\.debug_'
check "symbol table removed" flag 'symbols stripped'
check "link to its .debug file (.gnu_debuglink)" section '\.gnu_debuglink'
exit "$failed"
