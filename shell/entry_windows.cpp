// Process entry of the real ZQInst.exe.
#include "platform/win32.h"
#include "shell/installer_main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, PWSTR, int) {
  return RunInstallerMain(instance, previousInstance);
}
