// The first code of the Windows programs: the process's DLL search is restricted to System32 and
// the libraries outside the KnownDLLs are loaded from there before the runtime (its start-up code,
// static constructors, main) runs. Linked as the image's entry point (cmake/windows-build.cmake);
// ZQ_RUNTIME_ENTRY names the runtime's own entry, which it hands over to.
#include "platform/windows/system_libraries.h"

extern "C" int ZQ_RUNTIME_ENTRY(void);

extern "C" int ZqProcessEntry(void) {
  zq_windows::LoadSystemLibraries();
  return ZQ_RUNTIME_ENTRY();
}
