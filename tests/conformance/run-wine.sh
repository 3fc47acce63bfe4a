#!/usr/bin/env bash
# Runs the conformance suite cross-built with MinGW under Wine, on a fresh prefix with the Spooler
# started and a display.
# Usage: run-wine.sh <conformance.exe> [scratch folder] [locale]
#   locale: a glibc locale for Wine (ja_JP.UTF-8: a Japanese Windows, ANSI code page 932), made
#           with localedef into the scratch folder; the run then fails unless the suite reports
#           that code page.
# Exit code: the suite's; 77 (skipped) when the exe has not been built, or is 32-bit and 32-bit
# Wine does not run here.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
if [ ! -f "$exe" ]; then
  echo "conformance: $exe not built; skipped"
  exit 77
fi
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
# shellcheck source=../wine/lib.sh
. "$here/../wine/lib.sh"
# A 32-bit exe (PE machine 0x014c) runs through the WoW64 side of the same prefix.
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')
if [ "$machine" = "014c" ] && ! wine32_runs; then
  echo "conformance: 32-bit Wine does not run here (wine32:i386 missing, or a kernel without"
  echo "32-bit programs); the 32-bit suite is skipped"
  exit 77
fi
work=${2:-$(mktemp -d /tmp/zqconformance.XXXXXX)}
locale=${3:-}
rm -rf "$work"
mkdir -p "$work"
export ZQ_WORK=$(cd "$work" && pwd)
expected_acp=
if [ -n "$locale" ]; then
  # A locale of our own, so that nothing of the machine's changes.
  mkdir -p "$ZQ_WORK/locale"
  localedef -i "${locale%%.*}" -f "${locale#*.}" "$ZQ_WORK/locale/$locale" >/dev/null 2>&1 || true
  if [ ! -d "$ZQ_WORK/locale/$locale" ]; then
    echo "conformance: the locale $locale cannot be made (localedef); skipped"
    exit 77
  fi
  export LOCPATH=$ZQ_WORK/locale LANG=$locale LC_ALL=$locale
  case $locale in ja_JP.*) expected_acp=932 ;; esac
fi
trap wine_cleanup EXIT
loader=$WINE64
[ "$machine" = "014c" ] && loader=$WINE32

wine_start_display
wine_make_template
export WINEPREFIX=$ZQ_WORK/template
"$WINESERVER" -p
timeout 60 "$WINE64" net start spooler >/dev/null 2>&1
# The stand-in driver files of the same build, when they were built.
args=()
arch=x64
[ "$machine" = "014c" ] && arch=x86
driver=$(dirname "$exe")/../wine/driver/$arch
[ -d "$driver" ] && args+=("--driver=$(winepath_w "$(cd "$driver" && pwd)")")
cd "$ZQ_WORK"
if [ -z "$expected_acp" ]; then
  timeout 240 "$loader" "$exe" "${args[@]}" | tr -d '\r'
  exit "${PIPESTATUS[0]}"
fi
set +e
timeout 240 "$loader" "$exe" "${args[@]}" | tr -d '\r' | tee "$ZQ_WORK/output.txt"
status=${PIPESTATUS[0]}
set -e
if ! grep -qx "ANSI code page $expected_acp" "$ZQ_WORK/output.txt"; then
  echo "conformance: the run in $locale did not have the ANSI code page $expected_acp"
  exit 1
fi
exit "$status"
