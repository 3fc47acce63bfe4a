#!/usr/bin/env bash
# Runs the conformance suite cross-built with MinGW under Wine, on a fresh prefix with the Spooler
# started and a display.
# Usage: run-wine.sh <conformance.exe> [scratch folder]
# Exit code: the suite's; 77 (skipped) when the exe has not been built, or is 32-bit and wine32
# is not installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
if [ ! -f "$exe" ]; then
  echo "conformance: $exe not built; skipped"
  exit 77
fi
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
# A 32-bit exe (PE machine 0x014c) runs through the WoW64 side of the same prefix.
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')
if [ "$machine" = "014c" ] && [ ! -d /usr/lib/i386-linux-gnu/wine ]; then
  echo "conformance: wine32 (i386) is not installed; the 32-bit suite is skipped"
  exit 77
fi
work=${2:-$(mktemp -d /tmp/zqconformance.XXXXXX)}
rm -rf "$work"
mkdir -p "$work"
export ZQ_WORK=$(cd "$work" && pwd)
# shellcheck source=../wine/lib.sh
. "$here/../wine/lib.sh"
trap wine_cleanup EXIT
loader=$WINE64
[ "$machine" = "014c" ] && loader=${WINE:-/usr/lib/wine/wine}

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
timeout 240 "$loader" "$exe" "${args[@]}" | tr -d '\r'
