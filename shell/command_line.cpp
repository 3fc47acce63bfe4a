#include "shell/command_line.h"

#include <iterator>

#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"

namespace {

constexpr WCHAR UnsupportedPlatformText[] = TEXT("現在のWindowsシステムはサポートされていません．");
constexpr WCHAR UsageText[] = TEXT(
    "パラメータの数が足りません．: 使用方法:\nZQInst.exe [モード] [ドライバフォルダ] [プリンタ名] "
    "[プロセッサ]");
constexpr WCHAR InvalidModeText[] =
    TEXT("モードが不正です．: 'install', 'check' ,'uninstall', 'add', 'verify' を指定してください．");
constexpr WCHAR MissingProcessorText[] =
    TEXT("プロセッサが指定されていません．: 'x86', 'x64' を指定してください．");
constexpr WCHAR InvalidProcessorText[] =
    TEXT("プロセッサが不正です．: 'x86', 'x64' を指定してください．");

// Keywords in the order of InstallerMode; the first match wins.
constexpr const WCHAR* ModeKeywords[] = {TEXT("install"),   TEXT("check"), TEXT("uninstall"),
                                         TEXT("reinstall"), TEXT("add"),   TEXT("verify")};
static_assert(std::size(ModeKeywords) == InstallerModeCount, "one keyword per mode");

// "/name" or "-name", the name in any letter case.
bool IsSwitch(LPCWSTR argument, LPCWSTR name) {
  return (argument[0] == TEXT('/') || argument[0] == TEXT('-')) && lstrcmpiW(argument + 1, name) == 0;
}

bool Reject(LPCWSTR text) {
  ShowErrorBox(nullptr, CommandCaption, text);
  return false;
}

}  // namespace

bool CheckPlatform() {
  // The major version is the lowest byte; nothing else of the version matters.
  if (LOBYTE(GetVersion()) <= 4) return Reject(UnsupportedPlatformText);
  return true;
}

RunSwitches ReadSwitches(int count, LPWSTR* arguments) {
  RunSwitches switches = {false, nullptr, false, 1};
  if (!arguments) return switches;
  int& i = switches.modeIndex;
  while (i < count) {
    if (IsSwitch(arguments[i], TEXT("quiet")) || IsSwitch(arguments[i], TEXT("q"))) {
      switches.quiet = true;
      ++i;
    } else if (IsSwitch(arguments[i], TEXT("log"))) {
      if (i + 1 >= count || arguments[i + 1][0] == 0) {
        switches.logPathMissing = true;
        i = i + 1 < count ? i + 2 : count;
      } else {
        switches.logPath = arguments[i + 1];
        i += 2;
      }
    } else {
      break;  // the mode's place: anything else there, "/x" included, is read as a mode
    }
  }
  return switches;
}

LPCWSTR DriverFolderArgument(int count, LPWSTR* arguments, const RunSwitches& switches) {
  const int at = switches.modeIndex;
  if (!arguments || count <= at + 1 || lstrcmpiW(arguments[at], ModeKeywords[Uninstall]) == 0)
    return nullptr;
  return arguments[at + 1];
}

bool MakeFolderAbsolute(LPCWSTR folder, LPWSTR buffer, DWORD capacity) {
  DWORD length = GetFullPathNameW(folder, capacity, buffer, nullptr);
  if (length == 0 || length >= capacity) {
    buffer[0] = 0;
    return false;
  }
  return true;
}

LPWSTR* SplitCommandLine(LPCWSTR commandLine, int* count) {
  *count = 0;
  if (!commandLine) return nullptr;
  LPWSTR* vector = CommandLineToArgvW(commandLine, count);
  if (!vector) *count = 0;
  return vector;
}

bool ParseArguments(int count, LPWSTR* arguments, InstallerRequest* request) {
  // A vector that could not be made (exhausted heap) has count 0: the usage rejection below.
  if (!arguments) count = 0;
  RunSwitches switches = ReadSwitches(count, arguments);
  // Positions count from the mode's place: without switches, argument 1.
  const int at = switches.modeIndex;
  if (switches.logPathMissing || count < at + 1) return Reject(UsageText);

  int mode = 0;
  while (mode < InstallerModeCount && lstrcmpiW(arguments[at], ModeKeywords[mode]) != 0) ++mode;
  if (mode == InstallerModeCount) return Reject(InvalidModeText);

  InstallerRequest parsed = {static_cast<InstallerMode>(mode), nullptr, nullptr, X86};
  if (parsed.mode != Uninstall) {
    // Positional and optional; anything after the processor is ignored.
    if (count > at + 1) parsed.driverFolder = arguments[at + 1];
    // An empty folder to copy from (an unset variable in a script) would name "\x64" on the
    // current drive, a folder any user may make: it is no folder, as if it were missing.
    bool copies = parsed.mode == Install || parsed.mode == Reinstall || parsed.mode == Add;
    if (copies && parsed.driverFolder && parsed.driverFolder[0] == 0) return Reject(UsageText);
    if (count > at + 2) parsed.printerName = arguments[at + 2];
    if (count <= at + 3) return Reject(MissingProcessorText);
    const ProcessorRow* row = std::begin(ProcessorTable);
    while (row != std::end(ProcessorTable) && lstrcmpiW(arguments[at + 3], row->keyword) != 0) ++row;
    if (row == std::end(ProcessorTable)) return Reject(InvalidProcessorText);
    parsed.processor = row->processor;
  }
  *request = parsed;
  return true;
}

bool ParseCommandLine(InstallerRequest* request, LPWSTR** argumentVector) {
  *argumentVector = nullptr;
  int count = 0;
  // Released with GlobalFree unless handed on.
  ArgumentVector args(SplitCommandLine(GetCommandLineW(), &count));
  if (!ParseArguments(count, args.Get(), request)) return false;
  *argumentVector = args.Release();
  return true;
}
