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
    TEXT("モードが不正です．: 'install', 'check' ,'uninstall', 'add' を指定してください．");
constexpr WCHAR MissingProcessorText[] =
    TEXT("プロセッサが指定されていません．: 'x86', 'x64' を指定してください．");
constexpr WCHAR InvalidProcessorText[] =
    TEXT("プロセッサが不正です．: 'x86', 'x64' を指定してください．");

// Keywords in the order of InstallerMode; the first match wins.
constexpr const WCHAR* ModeKeywords[] = {TEXT("install"), TEXT("check"), TEXT("uninstall"),
                                         TEXT("reinstall"), TEXT("add")};

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

bool ParseCommandLine(InstallerRequest* request, LPWSTR** argumentVector) {
  *argumentVector = nullptr;
  int count = 0;
  // A vector that could not be made (exhausted heap) leaves count 0: the usage rejection below.
  // Released with GlobalFree unless handed on.
  ArgumentVector args(CommandLineToArgvW(GetCommandLineW(), &count));
  if (count < 2) return Reject(UsageText);

  int mode = 0;
  while (mode <= Add && lstrcmpiW(args[1], ModeKeywords[mode]) != 0) ++mode;
  if (mode > Add) return Reject(InvalidModeText);

  InstallerRequest parsed = {static_cast<InstallerMode>(mode), nullptr, nullptr, X86};
  if (parsed.mode != Uninstall) {
    // Positional and optional; anything after the processor is ignored.
    if (count > 2) parsed.driverFolder = args[2];
    if (count > 3) parsed.printerName = args[3];
    if (count <= 4) return Reject(MissingProcessorText);
    const ProcessorRow* row = std::begin(ProcessorTable);
    while (row != std::end(ProcessorTable) && lstrcmpiW(args[4], row->keyword) != 0) ++row;
    if (row == std::end(ProcessorTable)) return Reject(InvalidProcessorText);
    parsed.processor = row->processor;
  }
  *request = parsed;
  *argumentVector = args.Release();
  return true;
}
