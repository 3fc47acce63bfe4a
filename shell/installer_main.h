// The process entry routine shared by the Windows program and the simulated one.
#pragma once

#include "platform/win32.h"

int RunInstallerMain(HINSTANCE instance, HINSTANCE previousInstance);
