// Texts and the system: FormatMessageW's system texts, CommandLineToArgvW's quote and backslash
// rules, lstrcmpiW, the ANSI code page conversions, the temporary folder and file, GetVersion.
#include <cstdio>
#include <cstring>

#include "tests/conformance/conformance.h"

CONFORMANCE_TEST(SystemTextsAllocated) {
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;  // 0x1100
  LPWSTR text = nullptr;
  SetLastError(conformance::Sentinel);
  DWORD length = FormatMessageW(flags, nullptr, ERROR_FILE_NOT_FOUND,
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ok(length > 2 && text && length == static_cast<DWORD>(lstrlenW(text)), "length %u",
     unsigned(length));
  if (text) {
    ok(text[length - 2] == '\r' && text[length - 1] == '\n', "ends in CR LF: '%s'",
       conformance::Utf8(text));
    // System Error Codes (Microsoft documentation, English and Japanese pages): the text of the
    // user's language, which a Japanese system (ANSI code page 932) may have in Japanese.
    const bool japanese = GetACP() == 932;
    ok(conformance::Same(text, TEXT("The system cannot find the file specified.\r\n")) ||
           (japanese && conformance::Same(text, TEXT("指定されたファイルが見つかりません。\r\n"))) ||
           wine_differs(conformance::Same(text, TEXT("File not found.\r\n")) ||
                            (japanese && conformance::Same(text, TEXT("ファイルが見つかりません。\r\n"))),
                        "Wine's message table has its own shorter texts"),
       "text '%s'", conformance::Utf8(text));
    ok(LocalFree(text) == nullptr, "LocalFree");
  }
  // No text for the code: nothing allocated, ERROR_MR_MID_NOT_FOUND.
  text = reinterpret_cast<LPWSTR>(1);
  SetLastError(conformance::Sentinel);
  length = FormatMessageW(flags, nullptr, 0x2FFFFFF0, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                          reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ok(length == 0 && text == nullptr && GetLastError() == ERROR_MR_MID_NOT_FOUND,
     "unknown code: %u, %p, %u", unsigned(length), static_cast<void*>(text),
     conformance::LastError());
  // Into the caller's buffer: it must hold the text and its terminator.
  WCHAR small[8];
  SetLastError(conformance::Sentinel);
  length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, small, 8,
                          nullptr);
  ok(length == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER, "small buffer: %u, %u",
     unsigned(length), conformance::LastError());
}

// A system text with an insert is kept as the system gives it when inserts are ignored; without
// that flag and without arguments Windows leaves the result undefined.
CONFORMANCE_TEST(SystemTextWithInsert) {
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  LPWSTR text = nullptr;
  SetLastError(conformance::Sentinel);
  DWORD length = FormatMessageW(flags, nullptr, ERROR_BAD_EXE_FORMAT,
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ok(length > 2 && text && length == static_cast<DWORD>(lstrlenW(text)), "193: length %u",
     unsigned(length));
  if (text) {
    ok(conformance::Same(text, TEXT("%1 is not a valid Win32 application.\r\n")) ||
           wine_differs(conformance::Same(text, TEXT("Bad EXE format for %1.\r\n")) ||
                            conformance::Same(text, TEXT("%1 の EXE フォーマットが不正です。\r\n")),
                        "Wine's message table has its own texts (English, and Japanese in a "
                        "Japanese locale); Windows: \"%1 is not a valid Win32 application.\" "
                        "(the insert kept)"),
       "193: '%s'", conformance::Utf8(text));
    ok(LocalFree(text) == nullptr, "LocalFree");
  }
}

CONFORMANCE_TEST(CommandLineSplitting) {
  struct Case {
    LPCWSTR line;
    int count;
    LPCWSTR arguments[4];
  } cases[] = {
      {TEXT("prog a b"), 3, {TEXT("prog"), TEXT("a"), TEXT("b")}},
      {TEXT("prog  a\tb "), 3, {TEXT("prog"), TEXT("a"), TEXT("b")}},
      {TEXT("prog \"a b\" c"), 3, {TEXT("prog"), TEXT("a b"), TEXT("c")}},
      {TEXT("prog a\\\\b"), 2, {TEXT("prog"), TEXT("a\\\\b")}},
      {TEXT("prog a\\\"b"), 2, {TEXT("prog"), TEXT("a\"b")}},
      {TEXT("prog a\\\\\\\"b"), 2, {TEXT("prog"), TEXT("a\\\"b")}},
      {TEXT("prog \"a\\\\\" b"), 3, {TEXT("prog"), TEXT("a\\"), TEXT("b")}},
      {TEXT("prog \"\" x"), 3, {TEXT("prog"), TEXT(""), TEXT("x")}},
      {TEXT("prog \"a\"\"b\""), 2, {TEXT("prog"), TEXT("a\"b")}},
      {TEXT("prog C:\\zq\\"), 2, {TEXT("prog"), TEXT("C:\\zq\\")}},
      {TEXT("\"C:\\Program Files\\ZQInst.exe\" install"),
       2,
       {TEXT("C:\\Program Files\\ZQInst.exe"), TEXT("install")}},
      // The program name ends at the first blank and takes backslashes as they are.
      {TEXT("C:\\a\\\\b x"), 2, {TEXT("C:\\a\\\\b"), TEXT("x")}},
  };
  for (const Case& c : cases) {
    int count = -1;
    SetLastError(conformance::Sentinel);
    LPWSTR* arguments = CommandLineToArgvW(c.line, &count);
    if (!ok(arguments != nullptr, "%s: %u", conformance::Utf8(c.line), conformance::LastError()))
      continue;
    ok(count == c.count, "%s: %d arguments", conformance::Utf8(c.line), count);
    for (int i = 0; i < count && i < c.count; ++i)
      ok(conformance::Same(arguments[i], c.arguments[i]), "%s: [%d] = '%s'",
         conformance::Utf8(c.line), i, conformance::Utf8(arguments[i]));
    ok(arguments[count] == nullptr, "%s: the list ends in a null", conformance::Utf8(c.line));
    LocalFree(arguments);
  }
  // An empty line gives the program's own path.
  int count = -1;
  LPWSTR* arguments = CommandLineToArgvW(TEXT(""), &count);
  ok(arguments && count == 1 && arguments[0][0] != 0, "empty line: %d", count);
  if (arguments) LocalFree(arguments);
}

CONFORMANCE_TEST(CaseInsensitiveComparison) {
  struct Case {
    LPCWSTR a;
    LPCWSTR b;
    int sign;  // 2: any non-zero
  } cases[] = {
      {TEXT("ZqDriver2"), TEXT("zqdriver2"), 0},
      {TEXT("abc"), TEXT("ABC"), 0},
      {TEXT("ａｂｃ"), TEXT("ＡＢＣ"), 0},  // full-width letters fold too
      {TEXT("ドライバ"), TEXT("ドライバ"), 0},
      {TEXT("a"), TEXT("b"), -1},
      {TEXT("B"), TEXT("a"), 1},
      {TEXT("abc"), TEXT("abcd"), -1},
      {TEXT("ａ"), TEXT("a"), 2},  // width is not ignored
      {TEXT(""), TEXT("a"), -1},
  };
  for (const Case& c : cases) {
    int result = lstrcmpiW(c.a, c.b);
    int sign = result < 0 ? -1 : result > 0 ? 1 : 0;
    ok(c.sign == 2 ? sign != 0 : sign == c.sign, "'%s' vs '%s': %d", conformance::Utf8(c.a),
       conformance::Utf8(c.b), result);
  }
}

CONFORMANCE_TEST(AnsiCodePageConversions) {
  UINT codePage = GetACP();
  std::printf("ANSI code page %u\n", codePage);
  WCHAR wide[16];
  char narrow[32];
  SetLastError(conformance::Sentinel);
  int n = MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0);
  ok(n == 4, "size with terminator: %d", n);
  n = MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0);
  ok(n == 3, "size of 3 bytes: %d", n);
  n = MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4);
  ok(n == 4 && conformance::Same(wide, TEXT("abc")), "convert: %d", n);
  ok(GetLastError() == conformance::Sentinel, "last error untouched: %#x",
     conformance::LastError());
  n = MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 2);
  ok(n == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER, "too small: %d, %u", n,
     conformance::LastError());
  SetLastError(conformance::Sentinel);
  n = WideCharToMultiByte(CP_ACP, 0, TEXT("abc"), -1, nullptr, 0, nullptr, nullptr);
  ok(n == 4, "size: %d", n);
  n = WideCharToMultiByte(CP_ACP, 0, TEXT("abc"), -1, narrow, 4, nullptr, nullptr);
  ok(n == 4 && std::strcmp(narrow, "abc") == 0, "convert: %d", n);
  ok(GetLastError() == conformance::Sentinel, "last error untouched: %#x",
     conformance::LastError());
  n = WideCharToMultiByte(CP_ACP, 0, TEXT("abc"), -1, narrow, 2, nullptr, nullptr);
  ok(n == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER, "too small: %d, %u", n,
     conformance::LastError());
  // Japanese text: what the code page holds comes back, anything else becomes its default
  // character ("?").
  BOOL usedDefault = FALSE;
  n = WideCharToMultiByte(CP_ACP, 0, TEXT("ドライバ"), -1, narrow, sizeof narrow, nullptr,
                          codePage == CP_UTF8 ? nullptr : &usedDefault);
  if (codePage == CP_UTF8) {
    ok(n == 13 && std::strcmp(narrow, "\xE3\x83\x89\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\x90") == 0,
       "UTF-8: %d", n);
  } else if (codePage == 932) {
    ok(n == 9 && std::strcmp(narrow, "\x83\x68\x83\x89\x83\x43\x83\x6F") == 0 && !usedDefault,
       "932: %d", n);
  } else {
    ok(n == 5 && std::strcmp(narrow, "????") == 0 && usedDefault, "%u: %d '%s'", codePage, n,
       narrow);
  }
  // UTF-8 has no form for a surrogate without its partner: U+FFFD stands for it.
  const WCHAR lone[] = {'a', 0xD800, 'b', 0};
  char utf8[16] = {};
  int bytes = WideCharToMultiByte(CP_UTF8, 0, lone, -1, utf8, sizeof utf8, nullptr, nullptr);
  ok(bytes == 6 && std::strcmp(utf8,
                               "a\xEF\xBF\xBD"
                               "b") == 0,
     "lone surrogate: %d", bytes);
  n = MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, 16);
  ok(n == 5 && (codePage == CP_UTF8 || codePage == 932 ? conformance::Same(wide, TEXT("ドライバ"))
                                                       : conformance::Same(wide, TEXT("????"))),
     "back: %d '%s'", n, conformance::Utf8(wide));
}

CONFORMANCE_TEST(TemporaryFolderAndFiles) {
  WCHAR folder[MAX_PATH];
  SetLastError(conformance::Sentinel);
  DWORD n = GetTempPathW(MAX_PATH, folder);
  ok(n > 3 && n == static_cast<DWORD>(lstrlenW(folder)) && folder[n - 1] == '\\',
     "GetTempPathW: %u '%s'", unsigned(n), conformance::Utf8(folder));
  WCHAR tiny[2] = {'#', '#'};
  DWORD needed = GetTempPathW(2, tiny);
  ok(needed == n + 1, "too small: %u", unsigned(needed));

  WCHAR name[MAX_PATH];
  UINT unique = GetTempFileNameW(folder, TEXT("zqt"), 0, name);
  ok(unique != 0, "GetTempFileNameW: %u", conformance::LastError());
  int length = lstrlenW(name);
  ok(std::memcmp(name, folder, n * sizeof(WCHAR)) == 0 && name[n] == 'z' && name[n + 2] == 't' &&
         conformance::EndsWithNoCase(name, TEXT(".tmp")),
     "name '%s'", conformance::Utf8(name));
  ok(length > static_cast<int>(n) + 7 && length <= static_cast<int>(n) + 11, "length %d", length);
  ok(GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES, "the file was made");
  DeleteFileW(name);
  // A given number: the name only, no file.
  unique = GetTempFileNameW(folder, TEXT("zqt"), 0x1A2B, name);
  ok(unique == 0x1A2B && conformance::EndsWithNoCase(name, TEXT("zqt1A2B.tmp")),
     "given number: %#x '%s'", unique, conformance::Utf8(name));
  SetLastError(conformance::Sentinel);
  ok(GetFileAttributesW(name) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND,
     "no file made: %u", conformance::LastError());
}

CONFORMANCE_TEST(PlatformVersion) {
  // GetVersion (Microsoft documentation): the major version in the low byte, the minor in the
  // next, the build in the high word with the top bit clear on NT. The versions NT has had: 5.0
  // to 5.2, 6.0 to 6.3, 10.0.
  DWORD version = GetVersion();
  unsigned major = LOBYTE(LOWORD(version)), minor = HIBYTE(LOWORD(version));
  ok((major == 5 && minor <= 2) || (major == 6 && minor <= 3) || (major == 10 && minor == 0),
     "version %u.%u", major, minor);
  ok((version & 0x80000000) == 0 && HIWORD(version) > 0, "an NT platform with a build: %#x",
     unsigned(version));
}
