// Simulated modules: what tests stage and inspect about the libraries LoadLibraryW can load.
//
// The machine knows one library, "comctl32.dll", whose exports a test chooses: DllGetVersion
// (reporting a chosen version, or failing with a chosen result and last error),
// InitCommonControlsEx and InitializeFlatSB. Names are matched as the loader does: without regard
// to case, on the file name (any folder in front is ignored), ".dll" assumed when no extension is
// given. A loaded module has one handle (kind "module") however often it is loaded; each
// LoadLibraryW adds a reference and each FreeLibrary takes one away, and the last releases the
// handle. Other names fail with ERROR_MOD_NOT_FOUND, other exports with ERROR_PROC_NOT_FOUND.
#pragma once

#include <cstddef>
#include <string>

#include "platform/sim/windows.h"

namespace sim {

// The program's own module (GetModuleHandleW(NULL)), the one with resources (dialog_templates.h).
inline HMODULE ProgramModule() { return reinterpret_cast<HMODULE>(0x00400000); }

// A fresh machine's library is the one a program with a common-controls 6 manifest sees on
// Windows 10: version 6.10 with every export.
struct CommonControlsLibrary {
  bool installed = true;  // false: loading it fails with ERROR_MOD_NOT_FOUND
  bool hasDllGetVersion = true;
  DWORD major = 6;
  DWORD minor = 10;
  DWORD build = 19041;
  HRESULT versionResult = S_OK;  // negative: DllGetVersion fails with this result...
  DWORD versionError = 0;        // ...and leaves this last error
  bool hasInitCommonControlsEx = true;
  bool hasInitializeFlatSB = true;
};
// Stage before loading: GetProcAddress and the exports read the staging when they are called.
void SetCommonControls(const CommonControlsLibrary& library);

// Successful LoadLibraryW calls for the module since the reset.
size_t ModuleLoads(const std::u16string& name);
// Outstanding references (0: not loaded).
int ModuleReferences(const std::u16string& name);
// The handle of a loaded module, or null (for GetModuleHandleW).
HMODULE LoadedModule(const std::u16string& name);

}  // namespace sim
