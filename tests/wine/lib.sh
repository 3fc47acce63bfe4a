# Shared pieces of the Wine runs: a display, prefixes, the spooler, ZQInst.exe runs with their
# boxes answered, and the spooler's state. Sourced by run.sh and tools/demo.sh.
#
# Needs: ZQ_EXE (ZQInst.exe), ZQ_HARNESS (zqharness.exe), ZQ_FIXTURES (folder with x64/ and x86/
# holding the stand-in driver files), ZQ_WORK (a scratch folder of this run).

WINE64=${WINE64:-/usr/lib/wine/wine64}
WINE32=${WINE32:-/usr/lib/wine/wine}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
# The loader of ZQInst.exe and the harness: wine64 for x64 builds, wine (WoW64) for x86 ones.
ZQ_WINE=${ZQ_WINE:-$WINE64}
export WINEDEBUG=-all
ZQ_PIDS=()

wine_log() { printf '%s\n' "$*" >&2; }

# Whether 32-bit programs run here: wine32:i386 installed, and a kernel that executes 32-bit ELF
# binaries (some virtual machines' kernels refuse them with "Exec format error").
wine32_runs() { "${WINE32:-/usr/lib/wine/wine}" --version >/dev/null 2>&1; }

# The programs of a MinGW build folder (ZQ_EXE, ZQ_HARNESS) and the loader for them: x64 builds
# run with wine64 and install the x64 stand-in driver, x86 builds with wine (WoW64 on the same
# 64-bit prefix) and the x86 one. Sets processor, environment ("Windows x64" or "Windows NT x86")
# and folder (the spooler's driver sub-folder). ZQ_FIXTURES gets this build's driver files and
# the other processor's from the sibling build when there is one.
wine_use_build() {
  local build=$1 arch from
  export ZQ_EXE=$build/ZQInst.exe
  export ZQ_HARNESS=$build/tests/wine/zqharness.exe
  if [ -d "$build/tests/wine/driver/x64" ]; then
    processor=x64 environment='Windows x64' folder=x64 template=template
    export ZQ_WINE=${WINE64:-/usr/lib/wine/wine64}
  else
    processor=x86 environment='Windows NT x86' folder=w32x86 template=template32
    export ZQ_WINE=${WINE32:-/usr/lib/wine/wine}
    [ -x "$ZQ_WINE" ] || { echo "wine: $ZQ_WINE missing: install wine32:i386" >&2; exit 1; }
    if ! wine32_runs; then
      echo "wine: this machine's kernel does not run 32-bit programs; the x86 run is skipped"
      exit 77
    fi
  fi
  export ZQ_FIXTURES=$ZQ_WORK/driver
  mkdir -p "$ZQ_FIXTURES/x64" "$ZQ_FIXTURES/x86"
  for arch in x64 x86; do
    for from in "$build" "$build/../mingw-$arch"; do
      if [ -d "$from/tests/wine/driver/$arch" ]; then
        cp "$from/tests/wine/driver/$arch/"* "$ZQ_FIXTURES/$arch/"
        break
      fi
    done
  done
}

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

# The template prefix is made once per run; every scenario gets a fresh copy of it. With
# `win32`, the template is a 32-bit prefix ($ZQ_WORK/template32, WINEARCH=win32), which stands for
# a 32-bit Windows: environment "Windows NT x86", no WoW64.
wine_make_template() {
  local template=$ZQ_WORK/template loader=$WINE64 arch=${1:-}
  if [ "$arch" = win32 ]; then
    template=$ZQ_WORK/template32 loader=$WINE32
  fi
  WINEARCH=${arch:-win64} WINEPREFIX=$template timeout 120 "$loader" wineboot -i >/dev/null 2>&1 ||
    true
  WINEPREFIX=$template timeout 60 "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed \
    /d N /f >/dev/null 2>&1
  WINEPREFIX=$template timeout 60 "$loader" reg add 'HKCU\Software\Wine\WineDbg' \
    /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  WINEPREFIX=$template timeout 60 "$WINESERVER" -w
  [ -d "$template/drive_c" ]
}

# The loader that runs the prefix's own programs (net, reg, winepath): wine in a 32-bit prefix,
# wine64 otherwise.
wine_prefix_loader() {
  if [ -d "${WINEPREFIX:-}/drive_c/windows/syswow64" ]; then echo "$WINE64"; else echo "$WINE32"; fi
}

# Fresh prefix from the template, a persistent wineserver, the spooler started, the printer key
# linked, the driver folder C:\zqdriver and a writable working folder C:\work.
# A prefix is about 1 GB: the one left behind goes when the next is made, and the last one and the
# template at the end of the run (ZQ_KEEP_PREFIXES=1 keeps them all, for a look afterwards).
# Usage: wine_fresh_prefix <name> [template folder name: template (default) or template32].
wine_fresh_prefix() {
  local name=$1 template=${2:-template}
  if [ -n "${WINEPREFIX:-}" ]; then
    wine_stop_prefix
    wine_drop_prefix "$WINEPREFIX"
  fi
  export WINEPREFIX=$ZQ_WORK/$name
  rm -rf "$WINEPREFIX"
  cp -a "$ZQ_WORK/$template" "$WINEPREFIX"
  "$WINESERVER" -p
  timeout 60 "$(wine_prefix_loader)" net start spooler >/dev/null 2>&1
  timeout 60 "$ZQ_WINE" "$ZQ_HARNESS" reglink >/dev/null
  mkdir -p "$WINEPREFIX/drive_c/zqdriver" "$WINEPREFIX/drive_c/work"
  cp -r "$ZQ_FIXTURES/x64" "$ZQ_FIXTURES/x86" "$WINEPREFIX/drive_c/zqdriver/"
}

# A 32-bit prefix (WINEARCH=win32, the 32-bit loader): a 32-bit Windows, environment "Windows NT
# x86". Made at <folder> (replacing the current prefix, as wine_fresh_prefix does), with its
# wineserver kept alive, the spooler started and the printer key linked by the x86 harness
# (ZQ_HARNESS_X86). Sets WINEPREFIX and ZQ_WINE.
wine_make_prefix_win32() {
  local folder=$1
  if [ -n "${WINEPREFIX:-}" ]; then
    wine_stop_prefix
    wine_drop_prefix "$WINEPREFIX"
  fi
  export WINEPREFIX=$folder ZQ_WINE=${WINE32:-/usr/lib/wine/wine}
  rm -rf "$WINEPREFIX"
  WINEARCH=win32 timeout 120 "$ZQ_WINE" wineboot -i >/dev/null 2>&1 || true
  timeout 60 "$ZQ_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  timeout 60 "$ZQ_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD \
    /d 0 /f >/dev/null 2>&1
  # The prefix is made once everything wineboot started has ended (as for the template): a
  # spooler started while it still runs times out when it is restarted later (1053).
  timeout 60 "$WINESERVER" -w
  "$WINESERVER" -p
  timeout 60 "$ZQ_WINE" net start spooler >/dev/null 2>&1
  timeout 60 "$ZQ_WINE" "$ZQ_HARNESS_X86" reglink >/dev/null
  mkdir -p "$WINEPREFIX/drive_c/work"
  [ -d "$WINEPREFIX/drive_c/windows/system32" ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]
}

wine_stop_prefix() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  "$WINESERVER" -k >/dev/null 2>&1 || true
  timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
}

# Removes a prefix of this run's scratch folder unless ZQ_KEEP_PREFIXES is set.
wine_drop_prefix() {
  [ -z "${ZQ_KEEP_PREFIXES:-}" ] || return 0
  case "$1" in "$ZQ_WORK"/*) rm -rf "$1" ;; esac
}

# Runs ZQInst.exe with the arguments while the harness answers boxes by the rules given on
# standard input ("caption|text|button" lines) and notes every visible window. The run starts in
# ZQ_RUN_DIR (a Unix folder; default C:\work of the prefix). Sets ZQ_STATUS (the exit code as a
# signed number, or "crashed (...)" when Wine reported an unhandled exception), ZQ_SECONDS,
# ZQ_BOXES (the boxes answered, one per line), ZQ_WINDOWS (the visible windows seen, "class|title"
# per line) and ZQ_OUT (the program's standard output). ZQ_EXE_DLLOVERRIDES, when set, is the
# program's WINEDLLOVERRIDES (the harness keeps the environment's).
zq_run() {
  local rules=$ZQ_WORK/rules.txt boxes=$ZQ_WORK/boxes.txt stop=$ZQ_WORK/stop
  local windows=$ZQ_WORK/windows.txt out=$ZQ_WORK/out.txt folder=${ZQ_RUN_DIR:-$WINEPREFIX/drive_c/work}
  cat >"$rules"
  rm -f "$boxes" "$stop" "$windows"
  : >"$boxes"
  : >"$windows"
  (cd "$WINEPREFIX/drive_c/work" &&
    timeout 150 "$ZQ_WINE" "$ZQ_HARNESS" answer "$(winepath_w "$rules")" "$(winepath_w "$boxes")" \
      "$(winepath_w "$stop")" 140 "$(winepath_w "$windows")" >/dev/null 2>&1) &
  local answerer=$!
  sleep 0.2  # the harness is watching before the installer starts
  local started=$(date +%s.%N)
  set +e
  (cd "$folder" && ${ZQ_EXE_DLLOVERRIDES:+env WINEDLLOVERRIDES="$ZQ_EXE_DLLOVERRIDES"} \
    timeout 120 "$ZQ_WINE" "$ZQ_EXE" "$@" >"$out" 2>"$ZQ_WORK/stderr.txt")
  local code=$?
  set -e
  ZQ_SECONDS=$(echo "$(date +%s.%N) - $started" | bc)
  touch "$stop"
  wait "$answerer" 2>/dev/null || true
  [ "$code" -gt 127 ] && code=$((code - 256))
  # A crash on a thread other than the main one can end the process with exit code 0.
  local crash
  crash=$(wine_crash_report "$ZQ_WORK/stderr.txt") && code="crashed ($crash)"
  ZQ_STATUS=$code
  ZQ_BOXES=$(cat "$boxes")
  ZQ_WINDOWS=$(cat "$windows")
  ZQ_OUT=$(tr -d '\r' <"$out")
}

# Runs ZQInst.exe with the arguments from C:\work through the harness, which reads the whole
# exit code (the shell sees only its low 8 bits: 1603 reads as 67). Nobody answers anything: for
# quiet runs. Sets ZQ_CODE (the signed exit code, or "none" when the harness could not tell) and
# ZQ_OUT (the program's standard output).
zq_exit_code() {
  local out=$ZQ_WORK/exitcode.txt
  (cd "$WINEPREFIX/drive_c/work" &&
    timeout 400 "$ZQ_WINE" "$ZQ_HARNESS" exitcode "$(winepath_w "$ZQ_EXE")" "$@" >"$out" 2>&1) || true
  ZQ_CODE=$(tr -d '\r' <"$out" | sed -n 's/^exit code \(-\{0,1\}[0-9]*\)$/\1/p' | tail -n1)
  [ -n "$ZQ_CODE" ] || ZQ_CODE=none
  ZQ_OUT=$(tr -d '\r' <"$out" | grep -v '^exit code ' || true)
  ZQ_STATUS=$ZQ_CODE
}

# Wine's report of an unhandled exception in a run's standard error file; fails when there is none.
wine_crash_report() { grep -m1 '^wine: Unhandled' "$1"; }

# A Unix path as a Windows path of the prefix (Z: maps the host's root).
winepath_w() { printf 'Z:%s' "${1//\//\\}"; }

# The spooler's listing (the harness's dump), ending with "end|listed" when it was read whole. A
# listing that is not whole is read once more a second later: Wine has been seen, rarely and only
# under load, to end a freshly started program with exit code 1 before it runs. What the first
# attempt printed goes to standard error, so a log shows it; a second failure is the listing.
zq_dump() {
  local attempt code listing
  for attempt in 1 2; do
    code=0
    timeout 60 "$ZQ_WINE" "$ZQ_HARNESS" dump >"$ZQ_WORK/dump.txt" 2>"$ZQ_WORK/dump-stderr.txt" ||
      code=$?
    listing=$(tr -d '\r' <"$ZQ_WORK/dump.txt")
    if grep -qx 'end|listed' <<<"$listing" || [ "$attempt" = 2 ]; then break; fi
    {
      echo "zq_dump: the listing was not whole (exit code $code), read again; it printed:"
      printf '%s\n' "$listing" | tail -n 5 | sed 's/^/  /'
      tr -d '\r' <"$ZQ_WORK/dump-stderr.txt" | tail -n 5 | sed 's/^/  stderr: /'
    } >&2
    sleep 1
  done
  printf '%s\n' "$listing"
}
zq_regget() { timeout 60 "$ZQ_WINE" "$ZQ_HARNESS" regget "$@" 2>/dev/null | tr -d '\r'; }

wine_cleanup() {
  wine_stop_prefix
  [ -n "${WINEPREFIX:-}" ] && wine_drop_prefix "$WINEPREFIX"
  wine_drop_prefix "$ZQ_WORK/template"
  wine_drop_prefix "$ZQ_WORK/template32"
  local pid
  for pid in "${ZQ_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${ZQ_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
}

# Test bookkeeping shared by the scripts: scenario names, checks counted in `passed` and `failed`,
# and what a failed check shows (the last run's exit code, boxes, windows, output, the spooler).
passed=0
failed=0
current=""
scenario() {
  current=$1
  echo "== $current"
}
check() {  # check <description> <command...>
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL [$current] $what" >&2
    echo "  exit code: ${ZQ_STATUS:-?} after ${ZQ_SECONDS:-?}s; boxes:" >&2
    printf '    %s\n' "${ZQ_BOXES:-}" >&2
    echo "  windows seen:" >&2
    printf '    %s\n' "${ZQ_WINDOWS:-}" >&2
    echo "  standard output:" >&2
    printf '%s\n' "${ZQ_OUT:-}" | sed 's/^/    /' >&2
    echo "  spooler:" >&2
    zq_dump | sed 's/^/    /' >&2 || true
  fi
}
has() { grep -qF -- "$2" <<<"$1"; }
lacks() { ! grep -qF -- "$2" <<<"$1"; }
# The spooler's listing (zq_dump) lacks a line: only a listing read to its end counts.
listing_lacks() { grep -qx 'end|listed' <<<"$1" && lacks "$@"; }
equals() { [ "$1" = "$2" ]; }
box_count() { if [ -z "$ZQ_BOXES" ]; then echo 0; else wc -l <<<"$ZQ_BOXES" | tr -d ' '; fi; }
