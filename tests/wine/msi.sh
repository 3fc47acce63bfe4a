#!/usr/bin/env bash
# End-to-end tests of the Windows Installer packages under Wine: the x64 package in a 64-bit
# prefix, the x86 package in a 32-bit one (WINEARCH=win32, as a 32-bit Windows). msiexec /i and /x
# with /qn, the printer's name as a property (one ZQInst would refuse is refused by the package), a
# package whose driver folder lacks a file (the install fails and the rollback leaves nothing, or
# leaves the driver and printer that were there before), and the next version over the last one.
# Usage: msi.sh <mingw-x64 build folder> <mingw-x86 build folder> [scratch folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build64=$(cd "$1" && pwd)
build86=$(cd "$2" && pwd)
export ZQ_WORK=${3:-$(mktemp -d /tmp/zqmsi.XXXXXX)}
rm -rf "$ZQ_WORK"
mkdir -p "$ZQ_WORK"
export ZQ_EXE=$build64/ZQInst.exe
export ZQ_HARNESS=$build64/tests/wine/zqharness.exe
export ZQ_HARNESS_X86=$build86/tests/wine/zqharness.exe
export ZQ_FIXTURES=$ZQ_WORK/driver
mkdir -p "$ZQ_FIXTURES"
cp -r "$build64/tests/wine/driver/x64" "$build86/tests/wine/driver/x86" "$ZQ_FIXTURES/"
# shellcheck source=lib.sh
. "$here/lib.sh"
trap wine_cleanup EXIT

# The packages: this version and the next for x64, one for x86, and one whose driver folder lacks
# the data file.
packages=$ZQ_WORK/packages
mkdir -p "$packages" "$ZQ_WORK/broken/x64"
cp "$ZQ_FIXTURES/x64/ZQPrinter_drv2.dll" "$ZQ_FIXTURES/x64/ZQPrinter_ui2.dll" "$ZQ_WORK/broken/x64/"
bash "$top/tools/build-msi.sh" x64 "$build64/ZQInst.exe" "$ZQ_FIXTURES" 2.0.0 "$packages/zq64.msi"
bash "$top/tools/build-msi.sh" x64 "$build64/ZQInst.exe" "$ZQ_FIXTURES" 2.0.1 "$packages/zq64-next.msi"
bash "$top/tools/build-msi.sh" x64 "$build64/ZQInst.exe" "$ZQ_WORK/broken" 2.0.0 "$packages/zq64-broken.msi"
bash "$top/tools/build-msi.sh" x86 "$build86/ZQInst.exe" "$ZQ_FIXTURES" 2.0.0 "$packages/zq86.msi"
echo "msi: sizes: $(cd "$packages" && stat -c '%n %s bytes' zq64.msi zq86.msi | paste -sd, -)"

printer='printer|ZQ Printer2|ZQVirtualPrinterPort|ZqDriver2|WinPrint|NT EMF 1.006|0x41|0x0500'
codes=()

# msiexec through the harness, which reads the whole exit code; sets CODE.
msiexec() {
  local out=$ZQ_WORK/msiexec.txt
  (cd "$WINEPREFIX/drive_c/work" &&
    timeout 300 "$ZQ_WINE" "$harness" exitcode 'C:\windows\system32\msiexec.exe' "$@" >"$out" 2>&1) || true
  CODE=$(tr -d '\r' <"$out" | sed -n 's/^exit code \(-\{0,1\}[0-9]*\)$/\1/p' | tail -n1)
  [ -n "$CODE" ] || CODE=none
  ZQ_STATUS=$CODE
}
package() { winepath_w "$packages/$1"; }
# Our lines of the spooler's listing, and its end line: an unreadable spooler is never "nothing".
ours() { zq_dump | grep -E 'ZqDriver2|^end\|listed$|^unreadable\|' || true; }
printers_of_ours() { zq_dump | grep -c '^printer|.*|ZqDriver2|' || true; }
program_files=""

started=$(date +%s)
wine_start_display

scenario "x64 package, 64-bit prefix: install"
wine_make_template
wine_fresh_prefix msi64
ZQ_WINE=$WINE64 harness=$ZQ_HARNESS
program_files=$WINEPREFIX/drive_c/Program\ Files/ZQInst
msiexec /i "$(package zq64.msi)" /qn
codes+=("x64 /i $CODE")
state=$(ours)
check "msiexec /i exits 0" equals "$CODE" 0
check "the program installed" test -f "$program_files/ZQInst.exe"
check "the driver folder installed" test -f "$program_files/driver/x64/ZQPrinter.PDD"
check "the printer as a quiet install leaves it" has "$state" "$printer"
check "the install's log in the Windows temp folder" \
  grep -q 'Run: exit code 0 (done)' "$WINEPREFIX/drive_c/windows/temp/ZQInst-install.log"

scenario "x64 package: removal"
msiexec /x "$(package zq64.msi)" /qn
codes+=("x64 /x $CODE")
after_removal=$(zq_dump)
check "msiexec /x exits 0" equals "$CODE" 0
check "no printer, no driver of ours" equals "$(ours)" "end|listed"
check "the program's files gone" test ! -e "$program_files/ZQInst.exe"

scenario "x64 package leaves what a quiet install leaves"
ZQ_RUN_DIR="" zq_run /quiet install 'C:\zqdriver' 'ZQ Printer2' x64 </dev/null
check "quiet install: exit code 0" equals "$ZQ_STATUS" 0
check "the same driver, port and printer" equals "$(ours)" "$state"
zq_run /quiet uninstall </dev/null
check "quiet uninstall leaves what the package's removal left" equals "$(zq_dump)" "$after_removal"

scenario "x64 package: PRINTERNAME names the printer"
msiexec /i "$(package zq64.msi)" /qn 'PRINTERNAME=Office Printer'
codes+=("x64 /i PRINTERNAME $CODE")
check "msiexec /i exits 0" equals "$CODE" 0
check "the printer is named Office Printer" has "$(ours)" 'printer|Office Printer|ZQVirtualPrinterPort|ZqDriver2|'
check "no printer of the default name" listing_lacks "$(ours)" 'printer|ZQ Printer2|'
msiexec /x "$(package zq64.msi)" /qn
check "msiexec /x exits 0" equals "$CODE" 0
check "nothing of ours left" equals "$(ours)" "end|listed"

scenario "x64 package: the next version over the last"
msiexec /i "$(package zq64.msi)" /qn
check "2.0.0: msiexec /i exits 0" equals "$CODE" 0
msiexec /i "$(package zq64-next.msi)" /qn
codes+=("x64 /i next version $CODE")
check "2.0.1 over 2.0.0: msiexec /i exits 0" equals "$CODE" 0
check "one printer of ours" equals "$(printers_of_ours)" 1
check "the printer in place" has "$(ours)" "$printer"
check "the program in place" test -f "$program_files/ZQInst.exe"
msiexec /x "$(package zq64-next.msi)" /qn
codes+=("x64 /x next version $CODE")
check "2.0.1: msiexec /x exits 0" equals "$CODE" 0
check "nothing of ours left" equals "$(ours)" "end|listed"
check "the program's files gone" test ! -e "$program_files/ZQInst.exe"

scenario "x64 package whose driver folder lacks a file"
msiexec /i "$(package zq64-broken.msi)" /qn
codes+=("x64 /i, a driver file missing $CODE")
check "msiexec /i fails" test "$CODE" != 0 -a "$CODE" != none
check "no printer, no driver of ours" equals "$(ours)" "end|listed"
check "no program files" test ! -e "$program_files/ZQInst.exe"
check "no driver files of the package" test ! -e "$program_files/driver/x64/ZQPrinter_drv2.dll"
check "the install's log names the failure" \
  grep -q 'Run: exit code 1603 (a step failed)' "$WINEPREFIX/drive_c/windows/temp/ZQInst-install.log"

scenario "x64 package whose install fails over an installed driver and printer"
ZQ_RUN_DIR="" zq_run /quiet install 'C:\zqdriver' 'ZQ Printer2' x64 </dev/null
check "quiet install: exit code 0" equals "$ZQ_STATUS" 0
installed=$(ours)
msiexec /i "$(package zq64-broken.msi)" /qn
codes+=("x64 /i failing over an installed driver $CODE")
check "msiexec /i fails" test "$CODE" != 0 -a "$CODE" != none
check "the rollback leaves the driver and the printer" equals "$(ours)" "$installed"
zq_run /quiet uninstall </dev/null

scenario "x64 package: PRINTERNAME that ZQInst would refuse"
# The command line as an administrator types it, from a batch file: a Unix argument would reach
# msiexec with Wine's own escapes. Windows reads the value as P" x86 " (refused for its quotes);
# Wine's msiexec passes the doubled quotes on as escapes and the value arrives as P\ (refused for
# its backslash): either way the package must not start.
rm -f "$WINEPREFIX/drive_c/windows/temp/ZQInst-install.log"
printf 'start /wait msiexec /i %s /qn PRINTERNAME="P"" x86 """\r\nexit /b %%ERRORLEVEL%%\r\n' \
  "$(package zq64.msi)" >"$WINEPREFIX/drive_c/work/refused.bat"
(cd "$WINEPREFIX/drive_c/work" &&
  timeout 300 "$ZQ_WINE" "$harness" exitcode 'C:\windows\system32\cmd.exe' /c 'C:\work\refused.bat' >"$ZQ_WORK/msiexec.txt" 2>&1) || true
CODE=$(tr -d '\r' <"$ZQ_WORK/msiexec.txt" | sed -n 's/^exit code \(-\{0,1\}[0-9]*\)$/\1/p' | tail -n1)
codes+=("x64 /i PRINTERNAME with quotes ${CODE:-none}")
check "msiexec /i refuses it: 1603" equals "$CODE" 1603
check "the install action never ran" test ! -e "$WINEPREFIX/drive_c/windows/temp/ZQInst-install.log"
msiexec /i "$(package zq64.msi)" /qn 'PRINTERNAME=a,b'
check "a comma: refused, 1603" equals "$CODE" 1603
check "a comma: the install action never ran" test ! -e "$WINEPREFIX/drive_c/windows/temp/ZQInst-install.log"
check "nothing of ours installed" equals "$(ours)" "end|listed"
check "no program files" test ! -e "$program_files/ZQInst.exe"

scenario "x64 package: its tables"
tables() { msiinfo export "$packages/zq64.msi" "$1" | tr -d '\r'; }
check "the install folder is no public property" has "$(tables Directory)" $'InstallFolder\tProgramFiles64Folder\tZQInst'
check "its ACL: SYSTEM, Administrators full, Users read and execute, not inherited" \
  has "$(tables MsiLockPermissionsEx)" $'InstallFolder\tCreateFolder\tD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'
check "the rollback searches Version-3" has "$(tables RegLocator)" 'Drivers\Version-3\ZqDriver2'
check "and Version-4" has "$(tables RegLocator)" 'Drivers\Version-4\ZqDriver2'

if wine32_runs && [ -f "$ZQ_HARNESS_X86" ]; then
  scenario "x86 package, 32-bit prefix"
  check "a 32-bit prefix" wine_make_prefix_win32 "$ZQ_WORK/msi32"
  harness=$ZQ_HARNESS_X86 ZQ_HARNESS=$ZQ_HARNESS_X86
  program_files=$WINEPREFIX/drive_c/Program\ Files/ZQInst
  msiexec /i "$(package zq86.msi)" /qn
  codes+=("x86 /i $CODE")
  check "msiexec /i exits 0" equals "$CODE" 0
  check "the program installed" test -f "$program_files/ZQInst.exe"
  check "the x86 driver registered" has "$(ours)" 'driver|ZqDriver2|Windows NT x86|'
  check "the printer" has "$(ours)" "$printer"
  msiexec /x "$(package zq86.msi)" /qn
  codes+=("x86 /x $CODE")
  check "msiexec /x exits 0" equals "$CODE" 0
  check "nothing of ours left" equals "$(ours)" "end|listed"
  check "the program's files gone" test ! -e "$program_files/ZQInst.exe"
else
  echo "== the x86 package: skipped (no 32-bit Wine or no x86 build)"
fi

echo "msi: msiexec exit codes: ${codes[*]}"
echo "msi: suite wall time $(($(date +%s) - started))s"
echo "msi: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
