#!/usr/bin/env bash
# Another installer that never lets go, under Wine: while the harness (`zqharness holdlock`) keeps
# the installer lock, a quiet uninstall of the cross-built ZQInst.exe (x64) waits the full five
# minutes and ends with 1618, saying so on standard output and in its /log file. The run mostly
# waits, so CTest lets it run beside the other Wine tests: it has a prefix, a wineserver (and so a
# lock) and display numbers of its own.
# Usage: busy.sh <mingw-x64 build folder> [scratch folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
export ZQ_WORK=${2:-$(mktemp -d /tmp/zqbusy.XXXXXX)}
mkdir -p "$ZQ_WORK"
# The other Wine tests take the first free display from 90 on.
export ZQ_DISPLAY=${ZQ_DISPLAY:-120}
# shellcheck source=lib.sh
. "$here/lib.sh"
wine_use_build "$build"
trap wine_cleanup EXIT

started=$(date +%s)
wine_start_display
wine_make_template

scenario "another installer never lets go: 1618 after five minutes"
wine_fresh_prefix busy
(cd "$WINEPREFIX/drive_c/work" && timeout 420 "$ZQ_WINE" "$ZQ_HARNESS" holdlock 400 \
  >"$ZQ_WORK/holder.txt" 2>&1) &
ZQ_PIDS+=($!)
for i in $(seq 300); do grep -q held "$ZQ_WORK/holder.txt" 2>/dev/null && break; sleep 0.1; done
begun=$(date +%s)
zq_exit_code /quiet /log 'C:\work\busy.log' uninstall
seconds=$(($(date +%s) - begun))
check "the lock was held by the harness" grep -q held "$ZQ_WORK/holder.txt"
check "exit code 1618" equals "$ZQ_CODE" 1618
check "waited the five minutes" test "$seconds" -ge 300
check "the wait and its end on standard output" has "$ZQ_OUT" "Error: 他のインストーラが実行中です!"
busy_log=$(tr -d '\r' <"$WINEPREFIX/drive_c/work/busy.log" 2>/dev/null || true)
check "the /log file has the waiting status" has "$busy_log" "Status: 他のインストーラの終了を待っています．"
check "the /log file has the error" has "$busy_log" "Error: 他のインストーラが実行中です!"
check "the /log file's last record names 1618" has "$(tail -n1 <<<"$busy_log")" \
  "Run: exit code 1618 (another installer is still running: try again later)"

echo "wine: another installer running: exit code $ZQ_CODE (whole, read by the harness) after ${seconds}s"
echo "wine: suite wall time $(($(date +%s) - started))s"
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
