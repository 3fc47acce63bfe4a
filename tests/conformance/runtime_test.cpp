// The runtime library the log and the bounded strings rest on: the counted printf in both widths,
// fopen's modes and what a "\r\n" becomes in the file, and the date and time texts.
#include <cstdio>
#include <cstring>

#include "tests/conformance/conformance.h"

namespace {

int Wide(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int n = _vsnwprintf(buffer, count, format, arguments);
  va_end(arguments);
  return n;
}

int Narrow(char* buffer, size_t count, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int n = _vsnprintf(buffer, count, format, arguments);
  va_end(arguments);
  return n;
}

}  // namespace

CONFORMANCE_TEST(WideCountedPrintf) {
  WCHAR buffer[16];
  // "%s" and "%ws" are both wide text in a wide format; "%hs" and "%S" are ANSI.
  int n = Wide(buffer, 16, TEXT("%s|%ws|%hs|%S"), TEXT("ドラ"), TEXT("x"), "ab", "c");
  ok(n == 9 && conformance::Same(buffer, TEXT("ドラ|x|ab|c")), "got %d '%s'", n,
     conformance::Utf8(buffer));
  // Exact fit: the count is returned and no terminator written.
  for (WCHAR& c : buffer) c = '#';
  n = Wide(buffer, 4, TEXT("%s"), TEXT("abcd"));
  ok(n == 4 && buffer[3] == 'd' && buffer[4] == '#', "exact fit: %d, [4] = %#x", n, buffer[4]);
  // One character more: -1, the count written, nothing after it.
  for (WCHAR& c : buffer) c = '#';
  n = Wide(buffer, 4, TEXT("%s"), TEXT("abcde"));
  ok(n == -1 && buffer[3] == 'd' && buffer[4] == '#', "overflow: %d, [4] = %#x", n, buffer[4]);
  // Room for the terminator: written.
  for (WCHAR& c : buffer) c = '#';
  n = Wide(buffer, 5, TEXT("%d"), -123);
  ok(n == 4 && conformance::Same(buffer, TEXT("-123")), "number: %d", n);
  // A missing text.
  n = Wide(buffer, 16, TEXT("%s"), static_cast<LPCWSTR>(nullptr));
  ok(n == 6 && conformance::Same(buffer, TEXT("(null)")), "null: %d '%s'", n,
     conformance::Utf8(buffer));
}

CONFORMANCE_TEST(AnsiCountedPrintf) {
  char buffer[32];
  // "%s" is ANSI text in an ANSI format, "%ws" and "%S" wide; a wide character up to U+00FF
  // becomes the byte of the same value (the runtime's "C" locale).
  int n = Narrow(buffer, sizeof buffer, "%s|%ws|%S", "log", TEXT("caf\x00E9"), TEXT("x86"));
  ok(n == 12 && std::strcmp(buffer, "log|caf\xE9|x86") == 0, "got %d '%s'", n, buffer);
  // Exact fit and overflow as in the wide format.
  std::memset(buffer, '#', sizeof buffer);
  n = Narrow(buffer, 4, "%s", "abcd");
  ok(n == 4 && buffer[3] == 'd' && buffer[4] == '#', "exact fit: %d, [4] = %c", n, buffer[4]);
  std::memset(buffer, '#', sizeof buffer);
  n = Narrow(buffer, 4, "%s%d", "ab", 123);
  ok(n == -1 && std::memcmp(buffer, "ab12#", 5) == 0, "overflow: %d '%.5s'", n, buffer);
  n = Narrow(buffer, sizeof buffer, "%d|%u|%x|%I64d", -5, 5u, 255u, 1234567890123LL);
  ok(n == 21 && std::strcmp(buffer, "-5|5|ff|1234567890123") == 0, "numbers: %d '%s'", n, buffer);
}

CONFORMANCE_TEST(AnsiPrintfOfTextTheCLocaleCannotHold) {
  // The program never calls setlocale, so the runtime converts "%ws" in the "C" locale, which has
  // no byte for a character above U+00FF: the call fails with -1. What came before the
  // placeholder stays in the buffer, terminated; nothing after it is written.
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  int n = Narrow(buffer, sizeof buffer, "file '%ws' gone", TEXT("C:\\ドライバ\\a.dll"));
  ok(n == -1, "Japanese %%ws: %d", n);
  ok(std::strcmp(buffer, "file '") == 0, "kept '%.12s'", buffer);
  // A single character ("%wc") that cannot be converted is left out, and the output goes on.
  std::memset(buffer, '#', sizeof buffer);
  n = Narrow(buffer, sizeof buffer, "[%wc|%wc]", static_cast<WCHAR>(0x30DD),
             static_cast<WCHAR>(0xE9));
  ok(n == 4 && std::strcmp(buffer, "[|\xE9]") == 0, "Japanese %%wc: %d '%.6s'", n, buffer);
  // The wide format has no such limit.
  WCHAR wide[32];
  n = Wide(wide, 32, TEXT("file '%ws' gone"), TEXT("ドライバ"));
  ok(n == 16 && conformance::Same(wide, TEXT("file 'ドライバ' gone")), "wide: %d", n);
}

namespace {

// The bytes of a file, read back in binary mode.
int ReadBack(const char* path, char* bytes, int capacity) {
  FILE* file = fopen(path, "rb");
  if (!file) return -1;
  int n = static_cast<int>(fread(bytes, 1, static_cast<size_t>(capacity), file));
  fclose(file);
  return n;
}

bool TempAnsiPath(char* path) {
  WCHAR wide[MAX_PATH];
  if (!conformance::MakeTempFile(TEXT("zqf"), wide)) return false;
  DeleteFileW(wide);
  return WideCharToMultiByte(CP_ACP, 0, wide, -1, path, MAX_PATH, nullptr, nullptr) > 0;
}

}  // namespace

CONFORMANCE_TEST(FopenAppendModes) {
  char path[MAX_PATH];
  ok(TempAnsiPath(path), "temporary path");
  struct Case {
    const char* mode;
    const char* written;
    int size;
  } cases[] = {
      // Text mode is the default: every "\n" reaches the file as "\r\n", so a "\r\n" written
      // becomes CR CR LF.
      {"a+", "one\r\r\ntwo\r\n", 11},
      {"a+t", "one\r\r\ntwo\r\n", 11},
      {"a+b", "one\r\ntwo\n", 9},
      {"ab", "one\r\ntwo\n", 9},
  };
  for (const Case& c : cases) {
    // "a" creates the missing file; a second open appends.
    FILE* file = fopen(path, c.mode);
    ok(file != nullptr, "%s: open a missing file", c.mode);
    if (!file) continue;
    fprintf(file, "%s", "one\r\n");
    fclose(file);
    file = fopen(path, c.mode);
    ok(file != nullptr, "%s: open again", c.mode);
    if (file) {
      fputs("two\n", file);
      fclose(file);
    }
    char bytes[64] = {0};
    int n = ReadBack(path, bytes, sizeof bytes);
    ok(n == c.size && std::memcmp(bytes, c.written, static_cast<size_t>(c.size)) == 0,
       "%s: %d bytes", c.mode, n);
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
    DeleteFileW(wide);
  }
  // Reading in text mode gives "\n" for each CR LF.
  FILE* file = fopen(path, "wb");
  if (ok(file != nullptr, "create")) {
    fputs("a\r\nb\r\r\nc", file);
    fclose(file);
  }
  file = fopen(path, "r");
  if (ok(file != nullptr, "open for reading")) {
    char bytes[32] = {0};
    size_t n = fread(bytes, 1, sizeof bytes, file);
    fclose(file);
    ok(n == 6 && std::memcmp(bytes, "a\nb\r\nc", 6) == 0, "text read: %d bytes",
       static_cast<int>(n));
  }
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  DeleteFileW(wide);
}

CONFORMANCE_TEST(DateAndTimeTexts) {
  char date[16], time[16];
  std::memset(date, '#', sizeof date);
  std::memset(time, '#', sizeof time);
  ok(_strdate(date) == date, "_strdate returns its buffer");
  ok(_strtime(time) == time, "_strtime returns its buffer");
  auto digits = [](const char* text, const char* pattern) {
    for (int i = 0; pattern[i]; ++i) {
      if (pattern[i] == '9' ? (text[i] < '0' || text[i] > '9') : text[i] != pattern[i])
        return false;
    }
    return text[8] == 0 && text[9] == '#';
  };
  ok(digits(date, "99/99/99"), "MM/DD/YY: '%.8s'", date);
  ok(digits(time, "99:99:99"), "HH:MM:SS: '%.8s'", time);
  int month = (date[0] - '0') * 10 + (date[1] - '0'), day = (date[3] - '0') * 10 + (date[4] - '0');
  ok(month >= 1 && month <= 12 && day >= 1 && day <= 31, "month %d day %d", month, day);
}
