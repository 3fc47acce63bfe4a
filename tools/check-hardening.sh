#!/usr/bin/env bash
# Fails unless the executable is a release build as shipped: ASLR (dynamic base with its
# relocations kept, high-entropy addresses on x64), DEP (NX compatible), no debug information or
# symbol table left in it, only the link to its separate .debug file; static imports from the
# KnownDLLs only (Windows looks for any other DLL beside the program first); and the stack
# protector and the runtime's checked functions (_FORTIFY_SOURCE) linked in, as far as the
# stripped exe and its .debug file beside it show them.
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

# The KnownDLLs that every Windows from 7 to 11 lists (HKLM\SYSTEM\CurrentControlSet\Control\
# Session Manager\KnownDLLs): the loader takes these from System32 whatever lies beside the program.
known_dlls=" advapi32 clbcatq comdlg32 difxapi gdi32 imagehlp imm32 kernel32 msctf msvcrt normaliz nsi
  ole32 oleaut32 psapi rpcrt4 setupapi shell32 shlwapi user32 wldap32 ws2_32 "
known_dlls=" $(echo $known_dlls) "  # one space between names
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr -d '\r')
echo "hardening: $exe: static imports: $(tr '\n' ' ' <<<"$imports")"
only_known_dlls() {
  local name base ok=0
  while read -r name; do
    [ -n "$name" ] || continue
    base=$(tr 'A-Z' 'a-z' <<<"$name")
    base=${base%.dll}
    if [[ "$known_dlls" != *" $base "* ]] || [[ "$name" != *.[dD][lL][lL] ]]; then
      echo "hardening: $exe: $name is not a KnownDLL" >&2
      ok=1
    fi
  done <<<"$imports"
  return "$ok"
}
check "static imports from the KnownDLLs only" only_known_dlls

# libssp linked in: its report texts are in the stripped exe, and nothing imports a libssp DLL.
contains() { LC_ALL=C grep -aqF -- "$1" "$exe"; }
no_ssp_dll() { ! grep -qi 'libssp' <<<"$imports"; }
check "stack protector linked (libssp's \"stack smashing detected\")" contains "stack smashing detected"
check "checked functions linked (libssp's \"buffer overflow detected\")" contains "buffer overflow detected"
check "libssp linked statically" no_ssp_dll
# The symbols, where the .debug file is beside the exe: the canary's guard and failure routine, and
# the checked functions' failure routine. A call whose sizes the compiler proves safe stays a
# plain call; the checked variants (__memcpy_chk, ...) that remain are counted.
debug=$exe.debug
if [ -f "$debug" ]; then
  symbols=$("$arch-w64-mingw32-nm" "$debug" 2>/dev/null || true)
  symbol() { grep -qE " _?$1\$" <<<"$symbols"; }
  check "stack protector in use (__stack_chk_fail, __stack_chk_guard)" \
    eval 'symbol __stack_chk_fail && symbol __stack_chk_guard'
  check "checked functions' failure routine linked (__chk_fail)" symbol __chk_fail
  echo "hardening: $exe: checked variants called: $(grep -cE ' _?__[a-z]+_chk$' <<<"$symbols" || true)"
else
  echo "hardening: $exe: no $debug beside it: symbols not checked"
fi
exit "$failed"
