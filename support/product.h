// Names and texts the whole installer shares.
#pragma once

#include "platform/win32.h"

// The program's version, as its version resource (resources/installer.rc) states it.
inline constexpr WCHAR ProductVersion[] = TEXT("2.0.0.0");
// The registered driver name; driver lookups; messages.
inline constexpr WCHAR DriverName[] = TEXT("ZqDriver2");
// Printer name when none is given; second placeholder of the replace-driver question.
inline constexpr WCHAR DefaultPrinterName[] = TEXT("ZQ Printer2");
// The local port every printer of this driver prints to.
inline constexpr WCHAR PortName[] = TEXT("ZQVirtualPrinterPort");
// Dialog title, hidden window class and title, caption of the operations' error boxes.
inline constexpr WCHAR ProductTitle[] = TEXT("Brimcastelleプリンタドライバ インストーラ");
// Caption of the start-up error boxes.
inline constexpr WCHAR CommandCaption[] = TEXT("ZQInst.exe [ドライバ インスール]");
// Per-user diagnostic settings, under HKEY_CURRENT_USER.
inline constexpr WCHAR SettingsKey[] = TEXT("SOFTWARE\\ZQPrinter2");

// The driver's three files, in registration order: driver, configuration (user interface), data.
inline constexpr const WCHAR* DriverFileSet[3] = {TEXT("ZQPrinter_drv2.dll"),
                                                  TEXT("ZQPrinter_ui2.dll"), TEXT("ZQPrinter.PDD")};
