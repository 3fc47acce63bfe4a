// A small test layer for the conformance suite, in the manner of Wine's own tests: written against
// platform/win32.h only, so that one source runs on the simulated Windows and on a real Win32.
//
//   ok(condition, "format", ...)   one check; a failure prints the file, line and message.
//   wine_differs(condition, why)   accepts an outcome where Wine is known to differ from Windows.
//                                  On Wine it is `condition` (and counts a known difference when
//                                  true); elsewhere it is false, so the simulated Windows must give
//                                  what Windows gives. `why` says what Windows does and why Wine
//                                  does not.
//   CONFORMANCE_TEST(name) { ... } a test; tests run in the order of their files and lines.
//
// Before each call whose last error matters, SetLastError(Sentinel) is called, so that a code
// left untouched is checked as well.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/win32.h"

namespace conformance {

inline constexpr DWORD Sentinel = 0xDEADBEEF;

using TestFunction = void (*)();
struct Registrar {
  Registrar(const char* name, const char* file, int line, TestFunction function);
};

bool Check(bool condition, const char* file, int line, const char* format, ...);
bool KnownDifference(bool condition, const char* file, int line, const char* why);
bool OnWine();
// True in the build against the simulated Windows (what it cannot model is skipped there, with the
// reason beside the check).
#ifdef ZQ_CONFORMANCE_SIMULATED
inline constexpr bool OnSimulation = true;
#else
inline constexpr bool OnSimulation = false;
#endif
// True in the 64-bit build.
inline constexpr bool Is64Bit = sizeof(void*) == 8;

// The last error as printf's %u takes it.
inline unsigned LastError() { return static_cast<unsigned>(GetLastError()); }
// Wide text as UTF-8 for messages; valid until the 16th call after.
const char* Utf8(LPCWSTR text);
// Wide text equality; a missing text equals only a missing text.
bool Same(LPCWSTR a, LPCWSTR b);
// Case-insensitive ASCII suffix test.
bool EndsWithNoCase(LPCWSTR text, LPCWSTR suffix);
// The folder of the stand-in driver files given with --driver=<folder> (ZQPrinter_drv2.dll,
// ZQPrinter_ui2.dll, ZQPrinter.PDD of the program's own processor), or nullptr.
LPCWSTR DriverFolder();
// A fresh, empty file in the temporary folder (full path into `path`, MAX_PATH characters).
bool MakeTempFile(LPCWSTR prefix, LPWSTR path);

}  // namespace conformance

#define ok(condition, ...) ::conformance::Check(!!(condition), __FILE__, __LINE__, __VA_ARGS__)
#define wine_differs(condition, why) \
  (::conformance::OnWine() &&        \
   ::conformance::KnownDifference(!!(condition), __FILE__, __LINE__, why))

#define CONFORMANCE_TEST(name)                                                             \
  static void name();                                                                      \
  static const ::conformance::Registrar name##_registrar(#name, __FILE__, __LINE__, name); \
  static void name()
