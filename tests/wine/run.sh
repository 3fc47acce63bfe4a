#!/usr/bin/env bash
# End-to-end tests: a cross-built ZQInst.exe under Wine and Xvfb, on fresh prefixes. The build
# folder's fixtures say which program it is: x64 runs with wine64 on a 64-bit prefix and installs
# the x64 stand-in driver; x86 runs with wine on a 32-bit prefix (WINEARCH=win32, as on a 32-bit
# Windows) and installs the x86 one, then on a 64-bit prefix (WoW64) the cases of an x86 exe on
# x64 Windows.
# Usage: run.sh <mingw-x64 or mingw-x86 build folder> [scratch folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
export ZQ_WORK=${2:-$(mktemp -d /tmp/zqwine.XXXXXX)}
mkdir -p "$ZQ_WORK"
ZQ_WORK=$(cd "$ZQ_WORK" && pwd)  # Wine takes absolute prefixes only
# shellcheck source=lib.sh
. "$here/lib.sh"
wine_use_build "$build"
trap wine_cleanup EXIT

title='Brimcastelleプリンタドライバ インストーラ'
caption='ZQInst.exe [ドライバ インスール]'
printer='printer|ZQ Printer2|ZQVirtualPrinterPort|ZqDriver2|WinPrint|NT EMF 1.006|0x41|0x0500'
key='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Print\Printers\ZQ Printer2'
timings=()

started=$(date +%s)
wine_start_display
if [ "$template" = template32 ]; then wine_make_template win32; else wine_make_template; fi

scenario "install on a fresh prefix"
wine_fresh_prefix fresh "$template"
zq_run install 'C:\zqdriver' 'ZQ Printer2' "$processor" </dev/null
timings+=("install ${ZQ_SECONDS}s")
state=$(zq_dump)
check "exit code 0" equals "$ZQ_STATUS" 0
check "no box" equals "$(box_count)" 0
check "driver registered with its three files" has "$state" "driver|ZqDriver2|$environment|"
drivers=$WINEPREFIX/drive_c/windows/system32/spool/drivers/$folder
for file in ZQPrinter_drv2.dll ZQPrinter_ui2.dll ZQPrinter.PDD; do
  check "$file copied into the $folder driver folder" test -f "$drivers/$file"
done
check "port created through the monitor's dialog" has "$state" 'port|ZQVirtualPrinterPort'
check "printer on the port with the driver" has "$state" "$printer"
check "SpoolDirectory written" has "$(zq_regget HKLM "$key" SpoolDirectory)" 'PRINTERS'

scenario "check after the installation"
zq_run check 'C:\zqdriver' 'ZQ Printer2' "$processor" <<<'Confirm||ok'
timings+=("check ${ZQ_SECONDS}s")
check "exit code 0" equals "$ZQ_STATUS" 0
check "information box" equals "$ZQ_BOXES" "Confirm|ドライバ 'ZqDriver2' が正常にインストールされました.|ok"

scenario "install again with the same printer name"
before=$(zq_dump)
zq_run install 'C:\zqdriver' 'ZQ Printer2' "$processor" </dev/null
check "exit code -1" equals "$ZQ_STATUS" -1
check "name-in-use box" equals "$ZQ_BOXES" "$title|既にプリンタ名が使用されています!|ok"
check "nothing changed" equals "$(zq_dump)" "$before"

scenario "install a second printer keeping the installed driver"
zq_run install 'C:\zqdriver' 'ZQ Second' "$processor" <<<'Confirm|既にインストールされています|no'
state=$(zq_dump)
check "exit code 0" equals "$ZQ_STATUS" 0
check "replace question asked" has "$ZQ_BOXES" "Confirm|ドライバ 'ZqDriver2' 既にインストールされています."
# The question's second name is always the default printer's, whatever printer was asked for.
check "question names the default printer" has "$ZQ_BOXES" "ドライバ 'ZQ Printer2' を使用しているアプリケーション"
check "first printer kept" has "$state" "$printer"
check "second printer on the same port" has "$state" 'printer|ZQ Second|ZQVirtualPrinterPort|ZqDriver2|'

scenario "install a third printer replacing the driver"
zq_run install 'C:\zqdriver' 'ZQ Third' "$processor" <<<'Confirm|既にインストールされています|yes'
timings+=("install replacing the driver ${ZQ_SECONDS}s")
state=$(zq_dump)
check "exit code 0" equals "$ZQ_STATUS" 0
check "old printers removed" listing_lacks "$state" 'printer|ZQ Printer2|'
check "old printers removed" listing_lacks "$state" 'printer|ZQ Second|'
check "new printer installed" has "$state" 'printer|ZQ Third|ZQVirtualPrinterPort|ZqDriver2|WinPrint|NT EMF 1.006|0x41|0x0500'
check "driver registered again" has "$state" "driver|ZqDriver2|$environment|"

scenario "add on the existing printer"
rm -f "$drivers/ZQPrinter.PDD"
zq_run add 'C:\zqdriver' 'ZQ Third' "$processor" </dev/null
timings+=("add ${ZQ_SECONDS}s")
check "exit code 0" equals "$ZQ_STATUS" 0
check "files copied again" test -f "$drivers/ZQPrinter.PDD"
check "driver still registered" has "$(zq_dump)" "driver|ZqDriver2|$environment|"

scenario "uninstall"
registered=$(zq_dump | grep '^driver|ZqDriver2|' | cut -d'|' -f4-6 | tr '|' '\n')
zq_run uninstall </dev/null
timings+=("uninstall ${ZQ_SECONDS}s")
state=$(zq_dump)
check "exit code 0" equals "$ZQ_STATUS" 0
check "no printer of ours left" listing_lacks "$state" '|ZqDriver2|'
check "no driver of ours left" listing_lacks "$state" 'driver|ZqDriver2|'
check "the port removed too" listing_lacks "$state" 'port|ZQVirtualPrinterPort'
# Wine keeps its own copies of a driver's files in the driver folder's version sub-folder; what the
# driver was registered with is what the installer deletes.
while IFS= read -r file; do
  [ -n "$file" ] || continue
  unix=$(timeout 30 "$(wine_prefix_loader)" winepath -u "$file" 2>/dev/null | tr -d '\r')
  check "registered file $file deleted" test ! -e "$unix"
done <<<"$registered"
zq_run check 'C:\zqdriver' 'ZQ Printer2' "$processor" <<<'Confirm||ok'
check "check afterwards fails" equals "$ZQ_STATUS" -1
check "check afterwards reports the driver absent" equals "$ZQ_BOXES" "Confirm|ドライバ 'ZqDriver2' が正常にインストールされませんでした.|ok"

scenario "verify after a quiet install, a deleted printer and the uninstall"
zq_verify() { zq_exit_code /quiet /log 'C:\work\verify.log' verify 'C:\zqdriver' 'ZQ Printer2' "$processor"; }
zq_exit_code /quiet install 'C:\zqdriver' 'ZQ Printer2' "$processor"
check "quiet install: 0" equals "$ZQ_CODE" 0
zq_verify
check "verify: 0" equals "$ZQ_CODE" 0
check "verify: the installed text" has "$ZQ_OUT" "ドライバ 'ZqDriver2' が正常にインストールされました."
# Wine has no WindowsProtectedPrintInfo class (Windows has it from 11 24H2 on): the policy answers.
check "the first record: the policy answered" \
  grep -q 'protected print mode: off (the policy; WindowsProtectedPrintInfo: 0x' "$WINEPREFIX/drive_c/work/verify.log"
timeout 60 "$ZQ_WINE" "$ZQ_HARNESS" delprinter 'ZQ Printer2' >/dev/null 2>&1 || true
check "the harness deleted the printer" listing_lacks "$(zq_dump)" 'printer|ZQ Printer2|'
zq_verify
check "verify without the printer: 1605" equals "$ZQ_CODE" 1605
check "verify names the printer" has "$ZQ_OUT" "の状態が正しくありません: プリンタ 'ZQ Printer2' がありません"
zq_exit_code /quiet check 'C:\zqdriver' 'ZQ Printer2' "$processor"
check "check alone still says 0" equals "$ZQ_CODE" 0
zq_exit_code /quiet uninstall
zq_verify
check "verify after the uninstall: 1605" equals "$ZQ_CODE" 1605
check "verify names the driver" has "$ZQ_OUT" "ドライバ 'ZqDriver2' が '$environment' に登録されていません"

scenario "uninstall leaves a dependent file another driver lists"
wine_fresh_prefix shared "$template"
drivers=$WINEPREFIX/drive_c/windows/system32/spool/drivers/$folder
mkdir -p "$drivers"
cp "$ZQ_FIXTURES/$processor/"* "$drivers/"
for file in shared_drv.dll shared_ui.dll shared.gpd; do cp "$drivers/ZQPrinter.PDD" "$drivers/$file"; done
printf 'shared by two drivers' >"$drivers/zqshared.dll"
zq_adddriver() { timeout 60 "$ZQ_WINE" "$ZQ_HARNESS" adddriver "$@" 2>/dev/null | tr -d '\r'; }
check "ZqDriver2 registered with the dependent file" equals \
  "$(zq_adddriver ZqDriver2 "$environment" ZQPrinter_drv2.dll ZQPrinter_ui2.dll ZQPrinter.PDD zqshared.dll)" 'adddriver: ok'
check "a second driver registered with the same dependent file" equals \
  "$(zq_adddriver 'Shared Driver' "$environment" shared_drv.dll shared_ui.dll shared.gpd zqshared.dll)" 'adddriver: ok'
registered=$(zq_dump | grep '^driver|ZqDriver2|' | cut -d'|' -f4-6 | tr '|' '\n')
check "the shared file is in the version folder" test -f "$drivers/3/zqshared.dll"
zq_run uninstall </dev/null
state=$(zq_dump)
check "exit code 0" equals "$ZQ_STATUS" 0
check "no driver of ours left" listing_lacks "$state" 'driver|ZqDriver2|'
check "the second driver still registered" has "$state" "driver|Shared Driver|$environment|"
check "the shared dependent file kept" test -f "$drivers/3/zqshared.dll"
check "the second driver's own files kept" test -f "$drivers/3/shared_drv.dll"
while IFS= read -r file; do
  [ -n "$file" ] || continue
  unix=$(WINEPREFIX=$WINEPREFIX timeout 30 "$(wine_prefix_loader)" winepath -u "$file" 2>/dev/null | tr -d '\r')
  check "registered file $file deleted" test ! -e "$unix"
done <<<"$registered"

scenario "reinstall on a clean prefix"
wine_fresh_prefix clean "$template"
zq_run reinstall 'C:\zqdriver' 'ZQ Printer2' "$processor" </dev/null
timings+=("reinstall ${ZQ_SECONDS}s")
check "exit code 0" equals "$ZQ_STATUS" 0
check "printer installed" has "$(zq_dump)" "$printer"

scenario "a driver that reports version 0x0400"
wine_fresh_prefix version "$template"
export ZQTEST_DRIVER_VERSION=0x0400
zq_run install 'C:\zqdriver' 'ZQ Printer2' "$processor" </dev/null
unset ZQTEST_DRIVER_VERSION
check "exit code -1" equals "$ZQ_STATUS" -1
check "failure report names both versions" has "$ZQ_BOXES" "$title|ドライバのバージョン[1024]が 1280 でありません!\\nインストールの中断します.\\n\\nError code: "
# Nothing is rolled back: the printer stays.
check "printer left in place" has "$(zq_dump)" 'printer|ZQ Printer2|ZQVirtualPrinterPort|ZqDriver2|WinPrint|NT EMF 1.006|0x41|0x0400'

scenario "start-up rejections"
zq_run </dev/null
check "usage: exit -1" equals "$ZQ_STATUS" -1
check "usage text" equals "$ZQ_BOXES" "$caption|パラメータの数が足りません．: 使用方法:\\nZQInst.exe [モード] [ドライバフォルダ] [プリンタ名] [プロセッサ]|ok"
zq_run setup 'C:\zqdriver' 'ZQ Printer2' "$processor" </dev/null
check "bad mode: exit -1" equals "$ZQ_STATUS" -1
check "bad mode text" equals "$ZQ_BOXES" "$caption|モードが不正です．: 'install', 'check' ,'uninstall', 'add', 'verify' を指定してください．|ok"
zq_run install 'C:\zqdriver' 'ZQ Printer2' ia64 </dev/null
check "bad processor: exit -1" equals "$ZQ_STATUS" -1
check "bad processor text" equals "$ZQ_BOXES" "$caption|プロセッサが不正です．: 'x86', 'x64' を指定してください．|ok"

# Installing needs the driver of the machine's own processor: another one is refused before any
# change (on x64 Windows an x86 driver registers, but the printer cannot be created with it).
if [ "$processor" = x64 ]; then
  scenario "arm64 on an x64 machine: install refused, add registers the additional driver"
  wine_fresh_prefix arm64 "$template"
  mkdir -p "$WINEPREFIX/drive_c/zqdriver/arm64"
  cp "$ZQ_FIXTURES/x64/"* "$WINEPREFIX/drive_c/zqdriver/arm64/"
  # A fresh prefix has no arm64 driver folder, and the installer makes no folder.
  mkdir -p "$WINEPREFIX/drive_c/windows/system32/spool/drivers/arm64"
  before=$(zq_dump)
  zq_run install 'C:\zqdriver' 'ZQ Printer2' arm64 </dev/null
  check "install arm64: exit code -1" equals "$ZQ_STATUS" -1
  check "install arm64: the machine's text" equals "$ZQ_BOXES" "$title|プロセッサ 'arm64' のドライバはこのコンピュータ（x64）では使用できません!|ok"
  check "install arm64: nothing changed" equals "$(zq_dump)" "$before"
  zq_run install 'C:\zqdriver' 'ZQ Printer2' x64 </dev/null
  check "install x64: exit code 0" equals "$ZQ_STATUS" 0
  zq_run add 'C:\zqdriver' 'ZQ Printer2' arm64 </dev/null
  check "add arm64: exit code 0" equals "$ZQ_STATUS" 0
  arm64=$WINEPREFIX/drive_c/windows/system32/spool/drivers/arm64
  check "add arm64: files in the arm64 folder" test -f "$arm64/ZQPrinter_drv2.dll"
  check "add arm64: registered for \"Windows ARM64\"" \
    "$WINE64" reg query 'HKLM\System\CurrentControlSet\Control\Print\Environments\Windows ARM64\Drivers\Version-3\ZqDriver2'
  zq_run uninstall </dev/null
  check "uninstall: exit code 0" equals "$ZQ_STATUS" 0
  check "uninstall: the arm64 registration removed too" \
    bash -c "! '$WINE64' reg query 'HKLM\\System\\CurrentControlSet\\Control\\Print\\Environments\\Windows ARM64\\Drivers\\Version-3\\ZqDriver2' >/dev/null 2>&1"
  # Wine registers the copies it keeps in the version sub-folder: those are the driver's files.
  check "uninstall: its registered files deleted" test ! -e "$arm64/3/ZQPrinter_drv2.dll"
else
  # The x86 exe on x64 Windows (WoW64): system32\spool is not redirected and the spooler is the
  # 64-bit service, so the x64 driver's files land where the spooler reads them.
  x86_times=("${timings[@]}")
  timings=()
  scenario "the x86 exe on a 64-bit prefix installs the x64 driver"
  wine_make_template
  wine_fresh_prefix wow64
  zq_run install 'C:\zqdriver' 'ZQ Printer2' x64 </dev/null
  timings+=("install ${ZQ_SECONDS}s")
  x64drivers=$WINEPREFIX/drive_c/windows/system32/spool/drivers/x64
  for file in ZQPrinter_drv2.dll ZQPrinter_ui2.dll ZQPrinter.PDD; do
    check "$file in the 64-bit spooler's x64 folder" test -f "$x64drivers/$file"
  done
  check "not in SysWOW64" test ! -e "$WINEPREFIX/drive_c/windows/syswow64/spool/drivers/x64/ZQPrinter_drv2.dll"
  check "registered for \"Windows x64\"" \
    "$WINE64" reg query 'HKLM\System\CurrentControlSet\Control\Print\Environments\Windows x64\Drivers\Version-3\ZqDriver2'
  # Wine differs from Windows here: its spooler runs inside the 32-bit process, whose environment
  # is "Windows NT x86", so AddPrinterW finds no driver (1797). Windows' 64-bit spooler creates the
  # printer with the x64 driver.
  check "Wine's difference: AddPrinterW gives 1797 (Windows creates the printer)" \
    has "$ZQ_BOXES" "$title|プリンタ 'ZQ Printer2' の追加ができません!\\nインストールの中断します.\\n\\nError code: 1797"
  check "exit code -1 under Wine" equals "$ZQ_STATUS" -1
  # The lookup names the machine's environment, "Windows x64", not the 32-bit process's: the x64
  # driver the run registered is found (Wine's spooler refused the printer, not the driver).
  zq_run check 'C:\zqdriver' 'ZQ Printer2' x64 <<<'Confirm||ok'
  timings+=("check ${ZQ_SECONDS}s")
  check "check from the x86 exe: exit code 0" equals "$ZQ_STATUS" 0
  check "check from the x86 exe: the x64 driver is installed" equals "$ZQ_BOXES" \
    "Confirm|ドライバ 'ZqDriver2' が正常にインストールされました.|ok"
  zq_run uninstall </dev/null
  timings+=("uninstall ${ZQ_SECONDS}s")
  check "uninstall: exit code 0" equals "$ZQ_STATUS" 0
  check "uninstall: the x64 registration removed" \
    bash -c "! '$WINE64' reg query 'HKLM\\System\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\ZqDriver2' >/dev/null 2>&1"
  check "uninstall: its registered files deleted" test ! -e "$x64drivers/3/ZQPrinter_drv2.dll"

  scenario "the x86 exe asked for x86 on a 64-bit machine is refused"
  before=$(zq_dump)
  zq_run install 'C:\zqdriver' 'ZQ Printer2' x86 </dev/null
  check "exit code -1" equals "$ZQ_STATUS" -1
  check "the machine's text" equals "$ZQ_BOXES" "$title|プロセッサ 'x86' のドライバはこのコンピュータ（x64）では使用できません!|ok"
  check "nothing changed" equals "$(zq_dump)" "$before"
  echo "wine: x86 exe on a 64-bit prefix (WoW64), mode wall times: ${timings[*]}"
  timings=("${x86_times[@]}")
  processor="x86 exe on a 32-bit prefix,"
fi

echo "wine: $processor mode wall times: ${timings[*]}"
echo "wine: $processor suite wall time $(($(date +%s) - started))s"
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
