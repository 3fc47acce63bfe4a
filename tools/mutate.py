#!/usr/bin/env python3
"""Mutation run: do the host tests catch small faults in the product code?

Each mutant below is one small change to one file of shell/, installation/, spooler/ or support/.
They are applied one at a time to a persistent copy of the tree (outside the repository, with its
own build folder, so that the rebuilds are incremental): the mutant's file is changed, the copy is
rebuilt (-j2) and the host tests run (ctest -LE wine, unit, scenario, conformance and both sweeps,
each test with a time limit); then the file is restored. A mutant is killed when a test fails,
survives when every test passes. The score is killed / mutants that compile; each survivor is
listed. A mutant that behaves exactly as the product does is marked `equivalent` with the reason;
it still counts as a survivor in the score.

Too slow for every run (about a minute per mutant on two cores): not part of CI.

    python3 tools/mutate.py                 # every mutant
    python3 tools/mutate.py --only 3,17     # some of them (numbers as --list prints them)
    python3 tools/mutate.py --list          # the list, checked against the sources

The copy lives in $ZQ_MUTATE_DIR (default: <temp>/zqinst-mutate) and is brought up to date with
the work tree's tracked files at the start of each run.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.environ.get("ZQ_MUTATE_DIR", os.path.join(tempfile.gettempdir(), "zqinst-mutate"))
SRC = os.path.join(WORK, "src")
BUILD = os.path.join(WORK, "build")
TEST_TIMEOUT = "120"  # seconds per CTest test; a hang counts as killed


def M(kind, path, old, new, equivalent=None):
    return {"kind": kind, "path": path, "old": old, "new": new, "equivalent": equivalent}


MUTANTS = [
    # ----- the five changes that once passed every test -----
    M("step order", "installation/operations.cpp",
      "  if (copyDriver && !InstallDriverFiles(driverFolder, processor, false)) return false;\n"
      "  WCHAR portName[PortNameCapacityBytes / sizeof(WCHAR)] = {};\n"
      "  if (!GoOn() || !ProvisionPort(portName, PortNameCapacityBytes)) return false;\n",
      "  WCHAR portName[PortNameCapacityBytes / sizeof(WCHAR)] = {};\n"
      "  if (!GoOn() || !ProvisionPort(portName, PortNameCapacityBytes)) return false;\n"
      "  if (copyDriver && !InstallDriverFiles(driverFolder, processor, false)) return false;\n"),
    M("call removed", "installation/installer_lock.cpp",
      "  } else {\n    ReportError(TEXT(\"他のインストーラが実行中です!\"));\n  }\n",
      "  }\n"),
    M("success on a failure path", "installation/port.cpp",
      "  if (status == ERROR_SUCCESS || status == ERROR_ALREADY_EXISTS) return true;\n"
      "  SetLastError(status);\n  return false;\n",
      "  if (status == ERROR_SUCCESS || status == ERROR_ALREADY_EXISTS) return true;\n"
      "  SetLastError(status);\n  return true;\n"),
    M("constant", "shell/worker_thread.cpp",
      "constexpr int WorkDonePostAttempts = 5;", "constexpr int WorkDonePostAttempts = 4;"),
    M("constant", "installation/installer_lock.h",
      "InstallerLockWaitMs = 5 * 60 * 1000;", "InstallerLockWaitMs = 4 * 60 * 1000;"),

    # ----- installation/ -----
    M("constant", "installation/steps.h",
      "QuietPortDialogLimitMs = 60 * 1000;", "QuietPortDialogLimitMs = 90 * 1000;"),
    M("constant", "installation/removal.cpp",
      "constexpr int FileDeletionAttempts = 10;", "constexpr int FileDeletionAttempts = 9;"),
    M("constant", "installation/removal.cpp",
      "constexpr DWORD PauseAfterFailedAttemptMs = 250;",
      "constexpr DWORD PauseAfterFailedAttemptMs = 200;"),
    M("constant", "installation/driver_files.cpp",
      "constexpr DWORD PauseBeforeCopyMs = 500;", "constexpr DWORD PauseBeforeCopyMs = 400;"),
    M("constant", "installation/driver_files.cpp",
      "  driver.cVersion = 4;", "  driver.cVersion = 3;"),
    M("success on a failure path", "installation/driver_files.cpp",
      "    if (!CopyFileW(sourcePaths[i].Get(), destinationPaths[i].Get(), FALSE)) {\n"
      "      ReportError(TEXT(\"ドライバ '%ws' を システムフォルダ '%ws' にインストールできません!\"),\n"
      "                  sourcePaths[i].Get(), destinationPaths[i].Get());\n"
      "      return false;\n",
      "    if (!CopyFileW(sourcePaths[i].Get(), destinationPaths[i].Get(), FALSE)) {\n"
      "      ReportError(TEXT(\"ドライバ '%ws' を システムフォルダ '%ws' にインストールできません!\"),\n"
      "                  sourcePaths[i].Get(), destinationPaths[i].Get());\n"
      "      return true;\n"),
    M("flag", "installation/driver_files.cpp",
      "destinationPaths[i].Get(), FALSE)", "destinationPaths[i].Get(), TRUE)"),
    M("text", "installation/operations.cpp",
      "ShowOperationError(request.owner, TEXT(\"既にプリンタ名が使用されています!\"));",
      "ShowOperationError(request.owner, TEXT(\"既にプリンタ名が使用されています.\"));"),
    M("comparison", "installation/operations.cpp",
      "  if (printerExists && !IsUnfinishedOwnPrinter(request.printerName)) {",
      "  if (printerExists && IsUnfinishedOwnPrinter(request.printerName)) {"),
    M("success on a failure path", "installation/operations.cpp",
      "  ShowInfo(request.owner, TEXT(\"ドライバ '%ws' が正常にインストールされませんでした.\"), DriverName);\n"
      "  return FailWith(failure, NotInstalled);\n",
      "  ShowInfo(request.owner, TEXT(\"ドライバ '%ws' が正常にインストールされませんでした.\"), DriverName);\n"
      "  return true;\n"),
    M("step order", "installation/operations.cpp",
      "      return UninstallOperation(request) && GoOn() && InstallOperation(request);",
      "      return InstallOperation(request) && GoOn() && UninstallOperation(request);"),
    M("call removed", "installation/operations.cpp",
      "      if (GoOn()) RemoveWhatIsLeftOfDriver();\n", ""),
    M("call removed", "installation/operations.cpp",
      "  if (!result) ShowFailureReport(request.owner);\n  return result || FailWith(failure, StepFailed);",
      "  return result || FailWith(failure, StepFailed);"),
    M("comparison", "installation/operations.cpp",
      "  if (state == 0 || state == SERVICE_RUNNING) return true;",
      "  if (state == 0 || state != SERVICE_STOPPED) return true;"),
    M("constant", "installation/outcome.h",
      "{InstallerBusy, -1, 1618,", "{InstallerBusy, -1, 1603,"),
    M("constant", "installation/outcome.h",
      "{NotInstalled, -1, 1605,", "{NotInstalled, -1, 1603,"),
    M("comparison", "installation/installer_lock.cpp",
      "  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return true;",
      "  if (wait == WAIT_OBJECT_0) return true;"),
    M("constant", "installation/installer_lock.cpp",
      "  if (failure) *failure = wait == WAIT_TIMEOUT ? InstallerBusy : StepFailed;",
      "  if (failure) *failure = InstallerBusy;"),
    M("call removed", "installation/installer_lock.cpp",
      "  if (lock->mutex) ReleaseMutex(lock->mutex.Get());\n", ""),
    M("comparison", "installation/removal.cpp",
      "  if (lstrlenW(file) <= length + 1 || file[length] != TEXT('\\\\')) return false;",
      "  if (lstrlenW(file) < length + 1 || file[length] != TEXT('\\\\')) return false;"),
    M("call removed", "installation/removal.cpp",
      "    ReportError(TEXT(\"ドライバ '%ws' のファイルの削除ができません!\"), driver.pName);\n"
      "    StartSpooler();  // whatever it gives: the failure is already recorded\n",
      "    ReportError(TEXT(\"ドライバ '%ws' のファイルの削除ができません!\"), driver.pName);\n"),
    M("comparison", "installation/removal.cpp",
      "  if (printerInfo.cJobs > 0) {", "  if (printerInfo.cJobs > 1) {"),
    M("constant", "installation/port.cpp",
      "constexpr DWORD PollIntervalMs = 5;", "constexpr DWORD PollIntervalMs = 10;"),
    M("flag", "installation/port.cpp",
      "    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);\n",
      "    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);\n"),
    M("comparison", "installation/port.cpp",
      "return limitMs != INFINITE && GetTickCount() - start >= limitMs; };",
      "return limitMs != INFINITE && GetTickCount() - start > limitMs + 1000; };"),
    M("comparison", "installation/printer.cpp",
      "  if (devMode->dmDriverVersion != ExpectedDriverVersion) {",
      "  if (devMode->dmDriverVersion < ExpectedDriverVersion) {"),

    # ----- spooler/ -----
    M("constant", "spooler/service.h",
      "inline constexpr int SpoolerStartPausesPerAttempt = 10;",
      "inline constexpr int SpoolerStartPausesPerAttempt = 9;"),
    M("comparison", "spooler/service.cpp",
      "      if (lastState == SERVICE_RUNNING || pauses >= SpoolerStartPausesPerAttempt) break;",
      "      if (lastState == SERVICE_RUNNING || pauses > SpoolerStartPausesPerAttempt) break;"),
    M("success on a failure path", "spooler/service.cpp",
      "    if (lastState != SERVICE_RUNNING) {\n      ReportError(TEXT(\"スプーラの開始ができません!\"));\n"
      "      return false;\n",
      "    if (lastState != SERVICE_RUNNING) {\n      ReportError(TEXT(\"スプーラの開始ができません!\"));\n"
      "      return true;\n"),
    M("call removed", "spooler/service.cpp",
      "  if (IsSpoolerRunning() && !StopSpooler()) return false;\n  return StartSpooler();",
      "  return StartSpooler();"),
    M("success on a failure path", "spooler/service.cpp",
      "    if (status.dwCurrentState == SERVICE_STOPPED) return true;\n  }\n"
      "  ReportErrorCode(ERROR_SERVICE_REQUEST_TIMEOUT, TEXT(\"スプーラの停止ができません!\"));\n"
      "  return false;",
      "    if (status.dwCurrentState == SERVICE_STOPPED) return true;\n  }\n"
      "  ReportErrorCode(ERROR_SERVICE_REQUEST_TIMEOUT, TEXT(\"スプーラの停止ができません!\"));\n"
      "  return true;"),

    # ----- shell/ -----
    M("constant", "shell/worker_thread.cpp",
      "constexpr DWORD WorkDoneRetryPauseMs = 100;", "constexpr DWORD WorkDoneRetryPauseMs = 50;"),
    M("call removed", "shell/worker_thread.cpp",
      "  if (HWND owner = owner_ ? owner_->Hwnd() : nullptr) SendMessageW(owner, WorkDoneMessage, 0, 0);\n",
      ""),
    M("comparison", "shell/command_line.cpp",
      "  while (mode <= Add && lstrcmpiW(arguments[at], ModeKeywords[mode]) != 0) ++mode;",
      "  while (mode < Add && lstrcmpiW(arguments[at], ModeKeywords[mode]) != 0) ++mode;"),
    M("text", "shell/command_line.cpp",
      "IsSwitch(arguments[i], TEXT(\"q\"))", "IsSwitch(arguments[i], TEXT(\"qq\"))"),
    M("call removed", "shell/console_events.cpp",
      "  while (HandlersInside.load() > 0) Sleep(PauseWhileHandlersLeaveMs);\n  CloseHandle(RunEnded);\n",
      "  while (HandlersInside.load() > 0) Sleep(PauseWhileHandlersLeaveMs);\n"),
    M("text", "shell/run_environment.cpp",
      "  return switches.quiet ? TEXT(\"yes, the run is quiet (/quiet)\") : TEXT(\"yes\");",
      "  return switches.quiet ? TEXT(\"yes, the run is quiet\") : TEXT(\"yes\");"),

    # ----- support/ -----
    M("text", "support/messages.cpp",
      "    TEXT(\"%ws\\nインストールの中断します.\\n\\nError code: %d\\n詳細エラー: %ws\");",
      "    TEXT(\"%ws\\nインストールの中断します.\\n\\nError code: %u\\n詳細エラー: %ws\");"),
    M("text", "support/product.h",
      "inline constexpr WCHAR ProductVersion[] = TEXT(\"2.0.0.0\");",
      "inline constexpr WCHAR ProductVersion[] = TEXT(\"2.0.0.1\");"),
    M("comparison", "support/settings_log.cpp",
      "  if (ReadSettingNumber(TEXT(\"LOGLEVEL\"), 1) >= 1) {",
      "  if (ReadSettingNumber(TEXT(\"LOGLEVEL\"), 1) > 1) {"),
    M("comparison", "support/strings.cpp",
      "  if (static_cast<size_t>(count) == room) destination[room] = 0;",
      "  if (static_cast<size_t>(count) == room + 1) destination[room] = 0;"),
    M("comparison", "support/strings.cpp",
      "  if (n == bound) return E_INVALIDARG;  // no terminator among the characters examined",
      "  if (n > bound) return E_INVALIDARG;  // no terminator among the characters examined"),
    M("call removed", "support/handles.h",
      "  static void Close(HKEY h) { RegCloseKey(h); }", "  static void Close(HKEY) {}"),
]


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def sync_copy():
    """Brings the copy up to date with the work tree's tracked files; unchanged files are not
    touched, so the first build after a sync is incremental too."""
    files = run(["git", "-C", TOP, "ls-files", "-z"]).stdout.split("\0")
    for rel in filter(None, files):
        source = os.path.join(TOP, rel)
        target = os.path.join(SRC, rel)
        if not os.path.isfile(source):
            continue
        with open(source, "rb") as f:
            data = f.read()
        if os.path.isfile(target):
            with open(target, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # A changed file gets the time of the copy, not its own: its objects in the copy's build
        # may be newer than its time in the work tree.
        shutil.copyfile(source, target)
        shutil.copymode(source, target)


def build():
    if not os.path.isfile(os.path.join(BUILD, "CMakeCache.txt")):
        r = run(["cmake", "-S", SRC, "-B", BUILD, "-G", "Unix Makefiles", "-DCMAKE_BUILD_TYPE=Debug"])
        if r.returncode:
            sys.exit("configure failed:\n" + r.stdout[-3000:])
    return run(["cmake", "--build", BUILD, "-j2"])


def tests():
    return run(["ctest", "--test-dir", BUILD, "-LE", "wine", "-j2", "--timeout", TEST_TIMEOUT,
                "--stop-on-failure"])


def first_failure(output):
    for line in output.splitlines():
        if "***Failed" in line or "***Timeout" in line or "(Failed)" in line or "Exception" in line:
            return " ".join(line.split())[:150]
    return ""


def check(mutant):
    with open(os.path.join(TOP, mutant["path"]), encoding="utf-8") as f:
        count = f.read().count(mutant["old"])
    return count == 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--only", help="comma-separated mutant numbers")
    parser.add_argument("--list", action="store_true", help="list the mutants and check them")
    args = parser.parse_args()

    bad = [i for i, m in enumerate(MUTANTS, 1) if not check(m)]
    if args.list or bad:
        for i, m in enumerate(MUTANTS, 1):
            mark = "NOT FOUND ONCE" if i in bad else ""
            print(f"{i:3} {m['kind']:26} {m['path']:34} {mark}")
        if bad:
            sys.exit(f"mutants {bad} do not match their file exactly once")
        return

    chosen = range(1, len(MUTANTS) + 1)
    if args.only:
        chosen = [int(n) for n in args.only.split(",")]

    os.makedirs(SRC, exist_ok=True)
    sync_copy()
    started = time.time()
    r = build()
    if r.returncode:
        sys.exit("the clean copy does not build:\n" + r.stdout[-3000:])
    r = tests()
    if r.returncode:
        sys.exit("the clean copy fails its tests:\n" + r.stdout[-3000:])
    print(f"clean copy built and tested in {time.time() - started:.0f}s", flush=True)

    killed, survived, broken = [], [], []
    for i in chosen:
        m = MUTANTS[i - 1]
        path = os.path.join(SRC, m["path"])
        with open(path, encoding="utf-8") as f:
            clean = f.read()
        t0 = time.time()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(clean.replace(m["old"], m["new"], 1))
            r = build()
            if r.returncode:
                broken.append(i)
                verdict = "does not compile"
            else:
                r = tests()
                if r.returncode:
                    killed.append(i)
                    verdict = "killed: " + first_failure(r.stdout)
                else:
                    survived.append(i)
                    verdict = "SURVIVED" + (" (equivalent)" if m["equivalent"] else "")
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(clean)
        print(f"{i:3} {m['kind']:26} {m['path']:34} {time.time() - t0:4.0f}s {verdict}", flush=True)

    build()  # leave the copy built as clean
    valid = len(killed) + len(survived)
    print(f"\nscore: {len(killed)}/{valid} killed" +
          (f" ({len(broken)} did not compile: {broken})" if broken else ""))
    for i in survived:
        m = MUTANTS[i - 1]
        print(f"survivor {i}: {m['path']}: {m['new'].strip()[:100]}")
        if m["equivalent"]:
            print(f"  equivalent: {m['equivalent']}")
    print(f"wall time {time.time() - started:.0f}s")


if __name__ == "__main__":
    main()
