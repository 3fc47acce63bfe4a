// The simulated process's own program path: what CommandLineToArgvW hands back for an empty
// command line (Windows takes it from the module file name). The command line itself is staged
// with sim::SetCommandLine (sim.h).
#pragma once

#include <string>

namespace sim {

inline constexpr char16_t DefaultProgramPath[] = u"C:\\ZQInst\\ZQInst.exe";
void SetProgramPath(const std::u16string& path);
std::u16string ProgramPath();

}  // namespace sim
