#!/usr/bin/env bash
# End-to-end test of the driver manifest under Wine: the program linked once more with the
# manifest of this build's stand-in driver, as tools/release.sh --driver links it. A driver folder
# whose ZQPrinter_ui2.dll differs by one byte is refused (1603) with nothing registered and no file
# of ours left in the spooler's folder; the untouched folder installs (0); `install ""` is refused
# as a missing argument (1639) with nothing changed; verify tells an installed copy changed by a
# byte (1605).
# Usage: manifest.sh <mingw build folder> [scratch folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
export ZQ_WORK=${2:-$(mktemp -d /tmp/zqmanifest.XXXXXX)}
mkdir -p "$ZQ_WORK"
# shellcheck source=lib.sh
. "$here/lib.sh"
wine_use_build "$build"
trap wine_cleanup EXIT
manifest="ZQInst driver manifest 1"$'\n'
for file in ZQPrinter_drv2.dll ZQPrinter_ui2.dll ZQPrinter.PDD; do
  path=$ZQ_FIXTURES/$processor/$file
  manifest+="$processor $file $(stat -c %s "$path") $(sha256sum "$path" | cut -d' ' -f1)"$'\n'
done
mkdir -p "$build/driver-manifest"
printf '%s' "$manifest" >"$build/driver-manifest/manifest.txt"
cmake --build "$build" --target ZQInstWithManifest >/dev/null
export ZQ_EXE=$build/driver-manifest/ZQInst.exe
wine_start_display
wine_make_template
wine_fresh_prefix manifest
drivers=$WINEPREFIX/drive_c/windows/system32/spool/drivers/$folder
no_file_of_ours() { [ -z "$(find "$drivers" -iname 'ZQPrinter*')" ]; }
log=$WINEPREFIX/drive_c/work/zq.log

scenario 'install "": a missing argument'
before=$(zq_dump)
zq_exit_code /quiet install '""' "ZQ Printer2" "$processor"
check "1639" equals "$ZQ_CODE" 1639
check "nothing changed" equals "$(zq_dump)" "$before"

scenario "a configuration DLL changed by one byte"
cp -r "$WINEPREFIX/drive_c/zqdriver" "$WINEPREFIX/drive_c/tampered"
ui=$WINEPREFIX/drive_c/tampered/$processor/ZQPrinter_ui2.dll
byte=$(od -An -tu1 -j100 -N1 "$ui" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of="$ui" bs=1 seek=100 conv=notrunc status=none
zq_exit_code /quiet /log 'C:\work\zq.log' install 'C:\tampered' "ZQ Printer2" "$processor"
check "1603" equals "$ZQ_CODE" 1603
check "nothing registered" listing_lacks "$(zq_dump)" "ZqDriver2"
check "no file of ours in the spooler's folder" no_file_of_ours
check "the refusal names the source" grep -q "tampered.$processor.ZQPrinter_ui2.dll' が改ざんされています" "$log"

scenario "the untouched folder"
zq_exit_code /quiet /log 'C:\work\zq.log' install 'C:\zqdriver' "ZQ Printer2" "$processor"
check "0" equals "$ZQ_CODE" 0
check "verified" grep -q "are the files of the driver manifest" "$log"
grep -o 'verified in [0-9]* ms' "$log" | sed 's/^/manifest: hashing /' || true

scenario "verify: the installed copies as shipped, then one changed by a byte"
zq_exit_code /quiet verify . "ZQ Printer2" "$processor"
check "0" equals "$ZQ_CODE" 0
pdd=$(find "$drivers" -iname 'ZQPrinter.PDD' | head -n 1)
byte=$(od -An -tu1 -j0 -N1 "$pdd" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of="$pdd" bs=1 seek=0 conv=notrunc status=none
zq_exit_code /quiet /log 'C:\work\zq.log' verify . "ZQ Printer2" "$processor"
check "1605" equals "$ZQ_CODE" 1605
check "the record names it" grep -q "ドライバファイル 'ZQPrinter.PDD' が出荷されたものと異なります" "$log"

echo "manifest: $passed checks passed, $failed failed"
[ "$failed" -eq 0 ]
