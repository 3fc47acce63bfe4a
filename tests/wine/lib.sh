# Shared pieces of the Wine runs: a display, prefixes, the spooler, ZQInst.exe runs with their
# boxes answered, and the spooler's state. Sourced by run.sh and tools/demo.sh.
#
# Needs: ZQ_EXE (ZQInst.exe), ZQ_HARNESS (zqharness.exe), ZQ_FIXTURES (folder with x64/ and x86/
# holding the stand-in driver files), ZQ_WORK (a scratch folder of this run).

WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
# The loader of ZQInst.exe and the harness: wine64 for x64 builds, wine (WoW64) for x86 ones.
ZQ_WINE=${ZQ_WINE:-$WINE64}
export WINEDEBUG=-all
ZQ_PIDS=()

wine_log() { printf '%s\n' "$*" >&2; }

# Starts Xvfb on the first free display number from ZQ_DISPLAY (default 90) on.
wine_start_display() {
  local n=${ZQ_DISPLAY:-90}
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$ZQ_WORK/xvfb.log" 2>&1 &
  ZQ_PIDS+=($!)
  export DISPLAY=":$n"
  local i
  for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
  wine_log "wine: Xvfb did not start"
  return 1
}

# The template prefix is made once per run; every scenario gets a fresh copy of it.
wine_make_template() {
  local template=$ZQ_WORK/template
  WINEPREFIX=$template timeout 120 "$WINE64" wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$template timeout 60 "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed \
    /d N /f >/dev/null 2>&1
  WINEPREFIX=$template timeout 60 "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' \
    /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  WINEPREFIX=$template timeout 60 "$WINESERVER" -w
  [ -d "$template/drive_c" ]
}

# Fresh prefix from the template, a persistent wineserver, the spooler started, the printer key
# linked, the driver folder C:\zqdriver and a writable working folder C:\work.
wine_fresh_prefix() {
  local name=$1
  [ -n "${WINEPREFIX:-}" ] && wine_stop_prefix
  export WINEPREFIX=$ZQ_WORK/$name
  rm -rf "$WINEPREFIX"
  cp -a "$ZQ_WORK/template" "$WINEPREFIX"
  "$WINESERVER" -p
  timeout 60 "$WINE64" net start spooler >/dev/null 2>&1
  timeout 60 "$ZQ_WINE" "$ZQ_HARNESS" reglink >/dev/null
  mkdir -p "$WINEPREFIX/drive_c/zqdriver" "$WINEPREFIX/drive_c/work"
  cp -r "$ZQ_FIXTURES/x64" "$ZQ_FIXTURES/x86" "$WINEPREFIX/drive_c/zqdriver/"
}

wine_stop_prefix() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  "$WINESERVER" -k >/dev/null 2>&1 || true
  timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
}

# Runs ZQInst.exe with the arguments while the harness answers boxes by the rules given on
# standard input ("caption|text|button" lines). Sets ZQ_STATUS (the exit code as a signed number,
# or "crashed (...)" when Wine reported an unhandled exception) and ZQ_BOXES (the boxes answered,
# one per line).
zq_run() {
  local rules=$ZQ_WORK/rules.txt boxes=$ZQ_WORK/boxes.txt stop=$ZQ_WORK/stop
  cat >"$rules"
  rm -f "$boxes" "$stop"
  : >"$boxes"
  (cd "$WINEPREFIX/drive_c/work" &&
    timeout 150 "$ZQ_WINE" "$ZQ_HARNESS" answer "$(winepath_w "$rules")" "$(winepath_w "$boxes")" \
      "$(winepath_w "$stop")" 140 >/dev/null 2>&1) &
  local answerer=$!
  local started=$(date +%s.%N)
  set +e
  (cd "$WINEPREFIX/drive_c/work" && timeout 120 "$ZQ_WINE" "$ZQ_EXE" "$@" >/dev/null 2>"$ZQ_WORK/stderr.txt")
  local code=$?
  set -e
  ZQ_SECONDS=$(echo "$(date +%s.%N) - $started" | bc)
  touch "$stop"
  wait "$answerer" 2>/dev/null || true
  [ "$code" -gt 127 ] && code=$((code - 256))
  # A crash on a thread other than the main one can end the process with exit code 0.
  grep -q '^wine: Unhandled' "$ZQ_WORK/stderr.txt" && code="crashed ($(grep -m1 '^wine: Unhandled' "$ZQ_WORK/stderr.txt"))"
  ZQ_STATUS=$code
  ZQ_BOXES=$(cat "$boxes")
}

# A Unix path as a Windows path of the prefix (Z: maps the host's root).
winepath_w() { printf 'Z:%s' "${1//\//\\}"; }

zq_dump() { timeout 60 "$ZQ_WINE" "$ZQ_HARNESS" dump 2>/dev/null | tr -d '\r'; }
zq_regget() { timeout 60 "$ZQ_WINE" "$ZQ_HARNESS" regget "$@" 2>/dev/null | tr -d '\r'; }

wine_cleanup() {
  wine_stop_prefix
  local pid
  for pid in "${ZQ_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${ZQ_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
}
