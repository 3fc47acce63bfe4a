#!/usr/bin/env bash
# Killed runs under Wine: the cross-built ZQInst.exe (x64) is killed (kill -9 of its Wine process)
# at spread moments of a quiet install, reinstall or uninstall; the same prefix then gets a quiet
# install, check and uninstall, which must end as on a clean machine: installed, found, removed
# with nothing of ours left, and no window of any run left open. (Wine's spooler functions run
# inside the process and keep working while the service is stopped, so a spooler left stopped
# cannot be shown here; the simulated Windows' crash sweep covers it.)
# Usage: kill.sh <mingw-x64 build folder> [scratch folder] [rounds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
export ZQ_WORK=${2:-$(mktemp -d /tmp/zqkill.XXXXXX)}
rounds=${3:-20}
mkdir -p "$ZQ_WORK"
# shellcheck source=lib.sh
. "$here/lib.sh"
wine_use_build "$build"
trap wine_cleanup EXIT

zq_quiet() { zq_run "$@" </dev/null; }
printer='printer|ZQ Printer2|ZQVirtualPrinterPort|ZqDriver2|WinPrint|NT EMF 1.006|0x41|0x0500'
key='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Print\Printers\ZQ Printer2'

# Starts the exe with the arguments and kills its Wine process after `delay` seconds; prints
# "killed" or the exit code when it ended before.
zq_kill_after() {
  local delay=$1
  shift
  (cd "$WINEPREFIX/drive_c/work" && exec "$ZQ_WINE" "$ZQ_EXE" "$@" >/dev/null 2>&1 </dev/null) &
  local pid=$!
  sleep "$delay"
  if kill -9 "$pid" 2>/dev/null; then
    wait "$pid" 2>/dev/null || true
    echo killed
  else
    local code=0
    wait "$pid" || code=$?
    echo "$code"
  fi
}

wine_start_display
wine_make_template
wine_fresh_prefix kill

killed=0
repaired=0
modes=(install reinstall uninstall)
for round in $(seq "$rounds"); do
  mode=${modes[$(((round - 1) % 3))]}
  # Spread over a run's length: 0.1 s to about 2 s.
  ms=$((100 + (round * 7 % 20) * 100))
  delay=$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))
  scenario "round $round: $mode killed after ${delay}s"
  if [ "$mode" != install ]; then
    zq_quiet /quiet install 'C:\zqdriver' 'ZQ Printer2' x64
    check "the install before it: exit code 0" equals "$ZQ_STATUS" 0
  fi
  case "$mode" in
    install) ended=$(zq_kill_after "$delay" /quiet install 'C:\zqdriver' 'ZQ Printer2' x64) ;;
    reinstall) ended=$(zq_kill_after "$delay" /quiet reinstall 'C:\zqdriver' 'ZQ Printer2' x64) ;;
    uninstall) ended=$(zq_kill_after "$delay" /quiet uninstall) ;;
  esac
  [ "$ended" = killed ] && killed=$((killed + 1))
  "$WINESERVER" -w >/dev/null 2>&1 &  # lets the server notice the dead process
  sleep 0.3
  ok=1
  # The next install: done, or (a run killed after its printer was finished) the name in use.
  zq_quiet /quiet install 'C:\zqdriver' 'ZQ Printer2' x64
  if [ "$ZQ_STATUS" != 0 ] && ! has "$ZQ_OUT" "既にプリンタ名が使用されています!"; then ok=0; fi
  check "install after the kill: 0, or the finished printer's name in use" equals "$ok" 1
  check "install after the kill: no window" equals "$ZQ_WINDOWS" ""
  state=$(zq_dump)
  check "install after the kill: the printer as a clean install leaves it" has "$state" "$printer"
  check "install after the kill: SpoolDirectory" has "$(zq_regget HKLM "$key" SpoolDirectory)" 'PRINTERS'
  zq_quiet /quiet check 'C:\zqdriver' 'ZQ Printer2' x64
  check "check: exit code 0" equals "$ZQ_STATUS" 0
  zq_quiet /quiet uninstall
  uninstall=$ZQ_STATUS
  check "uninstall: exit code 0" equals "$uninstall" 0
  check "uninstall: no window" equals "$ZQ_WINDOWS" ""
  state=$(zq_dump)
  check "uninstall: no driver of ours left" lacks "$state" 'ZqDriver2'
  check "uninstall: no printer of ours left" lacks "$state" 'ZQ Printer2'
  [ "$ok" = 1 ] && [ "$uninstall" = 0 ] && ! has "$state" ZqDriver2 && repaired=$((repaired + 1))
done
echo "wine: killed runs over $rounds rounds: $killed killed before their end, $repaired repaired" \
  "by the next install, check and uninstall"
echo "wine: $passed checks passed, $failed failed"
[ "$failed" = 0 ]
