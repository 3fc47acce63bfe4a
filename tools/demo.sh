#!/usr/bin/env bash
# The main job: builds ZQInst.exe (x64) with MinGW-w64 and runs a real installation of the
# stand-in test driver under Wine on a fresh prefix, then a check and an uninstall. Prints each
# step's exit code, the boxes answered and the spooler's state, and saves screenshots of the
# progress dialog and of a message box in docs/.
# Installs what it needs when it is missing (Debian/Ubuntu, as root).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have g++ || need+=(g++)
have x86_64-w64-mingw32-g++ || need+=(mingw-w64)
have i686-w64-mingw32-g++ || need+=(mingw-w64)
[ -x /usr/lib/wine/wine64 ] || need+=(wine wine64)
have Xvfb || need+=(xvfb)
have xwd || need+=(x11-apps)
have bc || need+=(bc)
have python3 || need+=(python3)
# Japanese glyphs for the dialogs and boxes.
[ -d /usr/share/fonts/opentype/ipafont-gothic ] || need+=(fonts-ipafont-gothic)
if [ "${#need[@]}" -gt 0 ]; then
  echo "demo: installing ${need[*]}"
  bash "$top/tools/install-packages.sh" "${need[@]}" >/dev/null
fi

jobs=$(nproc 2>/dev/null || echo 2)
for preset in mingw-x64 mingw-x86; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" >/dev/null
done

build=$top/build/mingw-x64
export ZQ_WORK=$(mktemp -d /tmp/zqdemo.XXXXXX)
export ZQ_EXE=$build/ZQInst.exe
export ZQ_HARNESS=$build/tests/wine/zqharness.exe
export ZQ_FIXTURES=$ZQ_WORK/driver
mkdir -p "$ZQ_FIXTURES"
cp -r "$build/tests/wine/driver/x64" "$ZQ_FIXTURES/"
cp -r "$top/build/mingw-x86/tests/wine/driver/x86" "$ZQ_FIXTURES/"
. "$top/tests/wine/lib.sh"
trap 'wine_cleanup; rm -rf "$ZQ_WORK"' EXIT

shots=$top/docs
mkdir -p "$shots"
screenshot() {  # screenshot <name>: the screen's windows, cropped, as docs/<name>.png
  xwd -root -display "$DISPLAY" -out "$ZQ_WORK/screen.xwd" 2>/dev/null &&
    python3 "$top/tools/xwd2png.py" "$ZQ_WORK/screen.xwd" "$shots/$1.png" auto &&
    echo "   screenshot: docs/$1.png"
}
report() {
  echo "   exit code: $ZQ_STATUS (${ZQ_SECONDS}s)"
  if [ -n "$ZQ_BOXES" ]; then
    echo "   boxes answered (caption|text|button):"
    printf '     %s\n' "$ZQ_BOXES"
  else
    echo "   boxes answered: none"
  fi
  echo "   spooler afterwards:"
  # A listing is whole only with its closing line; a spooler that could not be read ends the demo.
  local listing ours
  listing=$(zq_dump) || true
  if ! grep -qx 'end|listed' <<<"$listing"; then
    echo "     the spooler could not be listed; the listing and its errors:"
    printf '%s\n' "$listing" | sed 's/^/       /'
    tr -d '\r' <"$ZQ_WORK/dump-stderr.txt" | sed 's/^/       /'
    return 1
  fi
  ours=$(grep -E '^(driver|printer)|ZQVirtual' <<<"$listing" || true)
  if [ -n "$ours" ]; then
    sed 's/^/     /' <<<"$ours"
  else
    echo "     nothing of ours"
  fi
}

echo "demo: preparing Wine (display, fresh prefix, spooler)"
wine_start_display
wine_make_template
wine_fresh_prefix demo
# Wine's own dialog fonts have no Japanese glyphs: let a Japanese font stand in for them.
for face in 'ＭＳ Ｐゴシック' 'MS Shell Dlg' 'MS Shell Dlg 2' Tahoma; do
  LANG=C.UTF-8 timeout 60 "$WINE64" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
    /v "$face" /d IPAPGothic /f >/dev/null 2>&1 || true
done

echo
echo '1. ZQInst.exe install C:\zqdriver "ZQ Printer2" x64'
# The progress dialog is photographed while the installation runs.
( sleep 1.2; screenshot progress-dialog ) &
shooter=$!
zq_run install 'C:\zqdriver' 'ZQ Printer2' x64 </dev/null
wait "$shooter" || true
report

echo
echo '2. ZQInst.exe check C:\zqdriver "ZQ Printer2" x64'
zq_run check 'C:\zqdriver' 'ZQ Printer2' x64 <<<'Confirm||ok'
report

echo
echo '3. ZQInst.exe uninstall'
zq_run uninstall </dev/null
report

echo
echo '4. ZQInst.exe (no arguments)'
# The usage box is photographed before it is answered.
export ZQHARNESS_DELAY_MS=3000
( sleep 2.5; screenshot message-box ) &
shooter=$!
zq_run </dev/null
wait "$shooter" || true
unset ZQHARNESS_DELAY_MS
echo "   exit code: $ZQ_STATUS"
printf '   box answered: %s\n' "$ZQ_BOXES"
