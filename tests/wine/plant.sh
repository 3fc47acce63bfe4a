#!/usr/bin/env bash
# Planted DLLs: nothing put beside ZQInst.exe runs in it. Windows looks for a DLL outside the
# KnownDLLs in the program's own folder first unless the program restricts its search; the
# program restricts it to System32 before anything else runs and imports only KnownDLLs.
#
# 1. Control: a small program that imports winspool.drv statically loads a winspool.drv planted
#    beside it (its marker appears), so the test can see a load.
# 2. Discovery: install, check and uninstall from C:\plant\ZQInst.exe with Wine's loader trace
#    (WINEDEBUG=+pid,+loaddll): the names of every system library the program's process loads, and the
#    program's static imports.
# 3. Planted: on a fresh prefix, a stand-in (tests/wine/plant/standin.c, which leaves
#    "<its path>.loaded" when loaded) beside ZQInst.exe under each of those names; the same runs
#    must end exactly as without them (exit codes, boxes, the spooler's state) and no marker may
#    appear. Wine loads its own builtin DLLs unless told otherwise, so WINEDLLOVERRIDES makes
#    every name load native-first ("n,b", the exe's folder searched first), as Windows' search does
#    for names outside the KnownDLLs. The KnownDLLs are loaded builtin-only ("b"): Windows takes
#    them, and the DLLs they import, from System32 whatever lies beside a program, while Wine's
#    loader would take a planted one (a planted shell32.dll or kernelbase.dll is loaded by Wine).
#    Left out, as Wine's own:
#    - version.dll: Wine's user32 loads it before the program's first code; on Windows user32 is a
#      KnownDLL whose dependencies come from System32, so a planted version.dll tells nothing there.
#    - msimg32.dll: a delayed import of Wine's builtin uxtheme. Wine resolves delayed imports with
#      LdrLoadDll and no search path (dlls/ntdll/loader.c, LdrResolveDelayLoadedAPI), which looks
#      in the program's folder whatever SetDefaultDllDirectories said; Windows keeps the
#      process's default directories in its loader (LdrSetDefaultDllDirectories) and uses them for
#      delayed imports too.
# 4. A system library that cannot be loaded (WINEDLLOVERRIDES=winspool.drv=d): -1 and a message
#    naming it, no crash.
# Usage: plant.sh <mingw-x64 or mingw-x86 build folder> [scratch folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
export ZQ_WORK=${2:-$(mktemp -d /tmp/zqplant.XXXXXX)}
mkdir -p "$ZQ_WORK"
ZQ_WORK=$(cd "$ZQ_WORK" && pwd)  # Wine takes absolute prefixes only
# shellcheck source=lib.sh
. "$here/lib.sh"
wine_use_build "$build"
trap wine_cleanup EXIT
standin=$build/tests/wine/zqplant.dll
control=$build/tests/wine/zqplant_control.exe
objdump=$([ "$processor" = x64 ] && echo x86_64 || echo i686)-w64-mingw32-objdump
caption='ZQInst.exe [ドライバ インスール]'

# The KnownDLLs of Windows 10 and 11 (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\
# KnownDLLs), ntdll (mapped into every process by the system), and the libraries Wine's builtin
# KnownDLLs import that on Windows are dependencies of KnownDLLs, loaded from System32 with them:
# kernelbase (kernel32), win32u (user32, gdi32), ucrtbase and zlib1 (Wine's own builds).
known=" advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf
  msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32
  wldap32 wow64 wow64win ws2_32 ntdll kernelbase win32u ucrtbase zlib1 "
known=" $(echo $known) "  # one space between names
is_known() { [[ "$known" == *" ${1%.dll} "* ]]; }

# The system libraries (lower case, with their extension) that the ZQInst.exe process of a trace
# loaded from the Windows folder (System32, SysWOW64, WinSxS): not the program, not the driver's
# own files from the spooler's folder. Each trace line starts with "<process>:<thread>:"
# (+pid): the program's worker and port threads load libraries too.
loaded_names() {
  local pid
  pid=$(grep -m1 -E 'trace:loaddll:.*Loaded L".*\\\\ZQInst\.exe"' "$1" | cut -d: -f1) || return 0
  grep -E "^$pid:[0-9a-f]+:trace:loaddll:.*Loaded L\"C:\\\\\\\\windows\\\\\\\\" "$1" |
    grep -viF '\\spool\\drivers\\' |
    sed -E 's/.*Loaded L"([^"]*)".*/\1/; s/.*\\//' | tr 'A-Z' 'a-z' | sort -u
}

# One step of a sequence, run from C:\plant\ZQInst.exe: the exit code, the boxes and the spooler's
# state afterwards, as one text to compare.
plant_exe='C:\plant\ZQInst.exe'
outcome() {
  printf 'exit %s\nboxes:\n%s\nstate:\n%s\n' "$ZQ_STATUS" "$ZQ_BOXES" "$(zq_dump)"
}
# install, check, uninstall; "<step> <outcome>" into the folder $1, traces (when WINEDEBUG asks
# for them) into $1/<step>.trace.
run_sequence() {
  local into=$1
  mkdir -p "$into"
  ZQ_EXE=$plant_exe zq_run install 'C:\zqdriver' 'ZQ Printer2' "$processor" </dev/null
  outcome >"$into/install"
  cp "$ZQ_WORK/stderr.txt" "$into/install.trace"
  ZQ_EXE=$plant_exe zq_run check 'C:\zqdriver' 'ZQ Printer2' "$processor" <<<'Confirm||ok'
  outcome >"$into/check"
  cp "$ZQ_WORK/stderr.txt" "$into/check.trace"
  ZQ_EXE=$plant_exe zq_run uninstall </dev/null
  outcome >"$into/uninstall"
  cp "$ZQ_WORK/stderr.txt" "$into/uninstall.trace"
}

wine_start_display
# The x86 exe runs as on a 32-bit Windows (a 32-bit prefix), where its processor is the machine's.
if [ "$template" = template32 ]; then wine_make_template win32; else wine_make_template; fi

scenario "control: a program importing winspool.drv statically"
wine_fresh_prefix control "$template"
mkdir -p "$WINEPREFIX/drive_c/control"
cp "$control" "$WINEPREFIX/drive_c/control/control.exe"
cp "$standin" "$WINEPREFIX/drive_c/control/winspool.drv"
(cd "$WINEPREFIX/drive_c/work" &&
  WINEDLLOVERRIDES='winspool.drv=n,b' timeout 60 "$ZQ_WINE" 'C:\control\control.exe' >/dev/null 2>&1) || true
# The marker takes the name the library was loaded under (the import's WINSPOOL.DRV).
control_marker() { [ -n "$(ls "$WINEPREFIX/drive_c/control" | grep -ix 'winspool\.drv\.loaded')" ]; }
check "the planted winspool.drv was loaded (marker left)" control_marker
control_seen=$(control_marker && echo yes || echo no)

scenario "discovery: the libraries the program loads"
wine_fresh_prefix plain "$template"
mkdir -p "$WINEPREFIX/drive_c/plant"
cp "$ZQ_EXE" "$WINEPREFIX/drive_c/plant/ZQInst.exe"
WINEDEBUG=+pid,+loaddll run_sequence "$ZQ_WORK/results-plain"
check "install without stand-ins ends with 0" has "$(head -1 "$ZQ_WORK/results-plain/install")" 'exit 0'
check "check without stand-ins ends with 0" has "$(head -1 "$ZQ_WORK/results-plain/check")" 'exit 0'
check "uninstall without stand-ins ends with 0" has "$(head -1 "$ZQ_WORK/results-plain/uninstall")" 'exit 0'
imports=$("$objdump" -p "$ZQ_EXE" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | tr -d '\r')
names=$({
  printf '%s\n' "$imports"
  for step in install check uninstall; do loaded_names "$ZQ_WORK/results-plain/$step.trace"; done
} | grep -vxE 'version\.dll|msimg32\.dll' | grep -v '^$' | sort -u)
echo "static imports: $(tr '\n' ' ' <<<"$imports")"
check "the trace shows the program's loads" has "$names" 'winspool.drv'
for name in $imports; do
  check "static import $name is a KnownDLL" is_known "$name"
done

scenario "planted: a stand-in beside the program under every name"
wine_fresh_prefix planted "$template"
plant=$WINEPREFIX/drive_c/plant
mkdir -p "$plant"
cp "$ZQ_EXE" "$plant/ZQInst.exe"
overrides=()
native_first=()
for name in $names; do
  cp "$standin" "$plant/$name"
  # The override names a .dll without its extension, any other name whole (winspool.drv).
  key=${name%.dll}
  if is_known "$name"; then
    overrides+=("$key=b")
  else
    overrides+=("$key=n,b")
    native_first+=("$name")
  fi
done
echo "planted ($(wc -w <<<"$names")): $(tr '\n' ' ' <<<"$names")"
echo "native-first (${#native_first[@]}): ${native_first[*]}"
ZQ_EXE_DLLOVERRIDES=$(IFS=';' && echo "${overrides[*]}") run_sequence "$ZQ_WORK/results-planted"
for step in install check uninstall; do
  check "$step ends as without the stand-ins" \
    equals "$(cat "$ZQ_WORK/results-planted/$step")" "$(cat "$ZQ_WORK/results-plain/$step")"
done
markers=$(ls "$plant" | grep -i '\.loaded$' || true)
check "no stand-in was loaded (markers: ${markers:-none})" equals "$markers" ""
check "no crash report" lacks "$(cat "$ZQ_WORK"/results-planted/*.trace)" 'wine: Unhandled'
marker_count=$(grep -c . <<<"$markers" || true)

scenario "a system library that cannot be loaded"
find "$plant" -type f ! -name ZQInst.exe -delete  # the stand-ins go, the program stays
ZQ_EXE_DLLOVERRIDES='winspool.drv=d' ZQ_EXE=$plant_exe zq_run /quiet check 'C:\zqdriver' 'ZQ Printer2' \
  "$processor" </dev/null
# 1603 (a step failed); the shell under Wine sees its low 8 bits, 67. The harness cannot read the
# whole code here: it imports winspool.drv itself, which this run's override disables.
check "quiet run: exit code 1603 (67 as the shell sees it)" equals "$ZQ_STATUS" 67
check "quiet run: the library named" has "$ZQ_OUT" "Error: システムライブラリ 'winspool.drv' が読み込めません．"
ZQ_EXE_DLLOVERRIDES='winspool.drv=d' ZQ_EXE=$plant_exe zq_run install 'C:\zqdriver' 'ZQ Printer2' \
  "$processor" <<<"$caption|システムライブラリ|ok"
check "interactive run: exit code -1" equals "$ZQ_STATUS" -1
check "interactive run: one start-up box naming it" has "$ZQ_BOXES" \
  "$caption|システムライブラリ 'winspool.drv' が読み込めません．"
check "nothing installed" listing_lacks "$(zq_dump)" 'driver|ZqDriver2|'

echo "plant ($processor): names planted $(wc -w <<<"$names"), native-first ${#native_first[@]}," \
  "markers seen ${marker_count:-0}, control marker seen: $control_seen; $passed passed, $failed failed"
[ "$failed" -eq 0 ]
