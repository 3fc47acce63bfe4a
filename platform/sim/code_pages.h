// The simulated machine's system ANSI code page (CP_ACP, GetACP()): UTF-8 (65001) by default, as
// on a Windows with "Use Unicode UTF-8 for worldwide language support", or 932 (Japanese, Shift
// JIS as Windows extends it) on demand. 932 converts with the host's iconv table "CP932".
//
// The default comes from the environment variable ZQ_SIM_ACP ("932" or "65001") when it is set, so
// that a whole program (the conformance suite) can run on a Japanese machine; SetAnsiCodePage
// changes it until the next reset.
#pragma once

#include <string>

#include "platform/sim/windows.h"

namespace sim {

void SetAnsiCodePage(UINT codePage);  // 65001 or 932
UINT AnsiCodePage();
// Text in the ANSI code page as wide text (bytes that do not convert become U+30FB in 932, as
// Windows' table gives, and U+FFFD in UTF-8); and back (characters the code page lacks become
// "?").
std::u16string AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::u16string& text, bool* usedDefault = nullptr);

}  // namespace sim
