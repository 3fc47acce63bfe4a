// Process entry of the real ZQInst.exe. Its first code (platform/windows/process_entry.cpp) has
// loaded the libraries outside the KnownDLLs from System32; a run without them ends at its start.
#include "platform/win32.h"
#include "shell/installer_main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, PWSTR, int) {
  zq_windows::SystemLibraryFailure failure = {};
  if (zq_windows::SystemLibrariesLoaded(&failure))
    return RunInstallerMain(instance, previousInstance);
  UnavailableLibrary library = {failure.library, failure.error};
  return RunInstallerMain(instance, previousInstance, &library);
}
