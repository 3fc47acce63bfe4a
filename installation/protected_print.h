// Whether Windows protected print mode is on, as Windows itself answers: the Windows Runtime class
// Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo (Windows 11 24H2 on) knows
// every way it was switched on (Settings, Intune, Group Policy); the Group Policy value alone
// knows one.
#pragma once

#include "platform/win32.h"

// Asks the runtime class through its activation factory (combase.dll, raw ABI). True with
// *enabled when it answered; false when the class is absent (older Windows, Wine) or a step
// failed, with *result the failing step's HRESULT.
bool AskWindowsProtectedPrintInfo(bool* enabled, HRESULT* result);
