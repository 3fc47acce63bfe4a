// Runs every conformance test and prints the figures: tests, checks, failures and the known
// differences of Wine from Windows that were met. Exit code 0 when no check failed.
//
// Usage: conformance [--driver=<folder>] [name...]
//   --driver   the stand-in driver files to register (see DriverFolder)
//   name       only the tests whose names contain one of the texts
#include "tests/conformance/conformance.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace conformance {
namespace {

struct Test {
  const char* name;
  const char* file;
  int line;
  TestFunction function;
};

std::vector<Test>& Tests() {
  static std::vector<Test> tests;
  return tests;
}

int checks = 0;
int failures = 0;
const char* currentTest = "";
std::set<std::string> differencesMet;
WCHAR driverFolder[MAX_PATH] = {};

const char* BaseName(const char* file) {
  const char* base = file;
  for (const char* c = file; *c; ++c)
    if (*c == '/' || *c == '\\') base = c + 1;
  return base;
}

}  // namespace

Registrar::Registrar(const char* name, const char* file, int line, TestFunction function) {
  Tests().push_back({name, file, line, function});
}

bool Check(bool condition, const char* file, int line, const char* format, ...) {
  ++checks;
  if (condition) return true;
  ++failures;
  char message[1024];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);
  std::printf("%s:%d: %s: FAILED: %s\n", BaseName(file), line, currentTest, message);
  std::fflush(stdout);
  return false;
}

bool KnownDifference(bool condition, const char* file, int line, const char* why) {
  if (!condition) return false;
  std::string site = std::string(BaseName(file)) + ":" + std::to_string(line);
  if (differencesMet.insert(site).second)
    std::printf("%s: %s: known difference of Wine: %s\n", site.c_str(), currentTest, why);
  return true;
}

bool OnWine() {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleW(TEXT("ntdll.dll"));
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

const char* Utf8(LPCWSTR text) {
  static char buffers[16][512];
  static int next = 0;
  char* out = buffers[next++ % 16];
  if (!text) return "(null)";
  out[0] = 0;
  if (!*text) return out;
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, 511, nullptr, nullptr);
  out[n > 0 ? n : 0] = 0;
  return out;
}

bool Same(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return a == b;
  return lstrcmpW(a, b) == 0;
}

bool EndsWithNoCase(LPCWSTR text, LPCWSTR suffix) {
  if (!text || !suffix) return false;
  int n = lstrlenW(text), m = lstrlenW(suffix);
  if (m > n) return false;
  for (int i = 0; i < m; ++i) {
    WCHAR a = text[n - m + i], b = suffix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<WCHAR>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<WCHAR>(b + 32);
    if (a != b) return false;
  }
  return true;
}

LPCWSTR DriverFolder() { return driverFolder[0] ? driverFolder : nullptr; }

bool MakeTempFile(LPCWSTR prefix, LPWSTR path) {
  WCHAR folder[MAX_PATH];
  if (!GetTempPathW(MAX_PATH, folder)) return false;
  return GetTempFileNameW(folder, prefix, 0, path) != 0;
}

}  // namespace conformance

int main(int argc, char** argv) {
  using namespace conformance;
  auto& tests = Tests();
  std::stable_sort(tests.begin(), tests.end(), [](const Test& a, const Test& b) {
    int byFile = std::strcmp(a.file, b.file);
    return byFile != 0 ? byFile < 0 : a.line < b.line;
  });
  std::vector<const char*> names;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--driver=", 9) == 0)
      MultiByteToWideChar(CP_ACP, 0, argv[i] + 9, -1, driverFolder, MAX_PATH);
    else
      names.push_back(argv[i]);
  }
  int run = 0;
  for (const Test& test : tests) {
    bool wanted = names.empty();
    for (const char* name : names) wanted = wanted || std::strstr(test.name, name);
    if (!wanted) continue;
    currentTest = test.name;
    int before = failures;
    test.function();
    ++run;
    std::printf("%-60s %s\n", test.name, failures == before ? "ok" : "FAILED");
    std::fflush(stdout);
  }
  std::printf(
      "conformance on %s (%s): %d tests, %d checks, %d failed, %d known differences of Wine met\n",
      OnWine() ? "Wine" : "the simulated Windows", Is64Bit ? "64-bit" : "32-bit", run, checks,
      failures, static_cast<int>(differencesMet.size()));
  return failures == 0 ? 0 : 1;
}
