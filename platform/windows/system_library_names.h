// The Win32 names of the functions the program loads from System32 at process start
// (system_libraries.h), mapped onto the table of their addresses. Included by platform/win32.h
// after every SDK header, so that product code calls them by their usual names.
#pragma once

#include "platform/windows/system_libraries.h"

#define AddPortW (::zq_windows::System.AddPortW)
#define AddPrinterDriverW (::zq_windows::System.AddPrinterDriverW)
#define AddPrinterW (::zq_windows::System.AddPrinterW)
#define ClosePrinter (::zq_windows::System.ClosePrinter)
#define DeletePrinter (::zq_windows::System.DeletePrinter)
#define DeletePrinterDriverW (::zq_windows::System.DeletePrinterDriverW)
#define DeletePrinterDriverExW (::zq_windows::System.DeletePrinterDriverExW)
#define EnumJobsW (::zq_windows::System.EnumJobsW)
#define EnumPortsW (::zq_windows::System.EnumPortsW)
#define EnumPrinterDriversW (::zq_windows::System.EnumPrinterDriversW)
#define EnumPrintersW (::zq_windows::System.EnumPrintersW)
#define GetPrinterDataW (::zq_windows::System.GetPrinterDataW)
#define GetPrinterDriverDirectoryW (::zq_windows::System.GetPrinterDriverDirectoryW)
#define GetPrinterW (::zq_windows::System.GetPrinterW)
#define OpenPrinterW (::zq_windows::System.OpenPrinterW)
#define SetJobW (::zq_windows::System.SetJobW)
#define XcvDataW (::zq_windows::System.XcvDataW)
#define InitCommonControls (::zq_windows::System.InitCommonControls)
