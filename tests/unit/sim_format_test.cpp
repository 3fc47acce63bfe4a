// The simulated runtime's counted printf and the system's message texts behave like the
// Microsoft runtime and Windows, since the bounded strings and the error record rest on them.
#include <cstring>

#include "tests/support/sim_test.h"

namespace {

class SimFormatTest : public SimTest {};

std::string Wide(const char16_t* format, ...) {
  char16_t buffer[128];
  va_list args;
  va_start(args, format);
  int n = _vsnwprintf(buffer, 128, format, args);
  va_end(args);
  return n < 0 ? "<cut>" : U8(buffer);
}

std::string Narrow(const char* format, ...) {
  char buffer[128];
  va_list args;
  va_start(args, format);
  int n = _vsnprintf(buffer, 128, format, args);
  va_end(args);
  return n < 0 ? "<cut>" : std::string(buffer);
}

int NarrowInto(char* buffer, size_t count, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = _vsnprintf(buffer, count, format, args);
  va_end(args);
  return n;
}

TEST_F(SimFormatTest, CountRulesFollowTheMicrosoftRuntime) {
  char16_t buffer[8];
  std::memset(buffer, 0x55, sizeof buffer);
  // Shorter than the count: terminated, length returned.
  EXPECT_EQ(_snwprintf(buffer, 4, u"%s", u"abc"), 3);
  EXPECT_EQ(U8(buffer), "abc");
  // Exactly the count: no terminator, the count returned; the next character is untouched.
  std::memset(buffer, 0x55, sizeof buffer);
  EXPECT_EQ(_snwprintf(buffer, 4, u"%s", u"abcd"), 4);
  EXPECT_EQ(std::u16string(buffer, 4), u"abcd");
  EXPECT_EQ(buffer[4], 0x5555);
  // Longer: the first count characters written, -1.
  std::memset(buffer, 0x55, sizeof buffer);
  EXPECT_EQ(_snwprintf(buffer, 4, u"%s", u"abcdef"), -1);
  EXPECT_EQ(std::u16string(buffer, 4), u"abcd");
  EXPECT_EQ(buffer[4], 0x5555);
  // Count 0 writes nothing at all.
  EXPECT_EQ(_snwprintf(buffer, 0, u"x"), -1);
  EXPECT_EQ(_snwprintf(buffer, 0, u""), 0);
  EXPECT_EQ(buffer[0], u'a');
  // The ANSI twin counts bytes the same way.
  char narrow[6] = "zzzzz";
  EXPECT_EQ(NarrowInto(narrow, 3, "%s", "abc"), 3);
  EXPECT_EQ(std::string(narrow), "abczz");
  EXPECT_EQ(NarrowInto(narrow, 3, "%d", 12345), -1);
  EXPECT_EQ(std::string(narrow), "123zz");
}

TEST_F(SimFormatTest, StringPlaceholdersTakeTheWidthOfTheirFormat) {
  // Wide formats: %s and %ws are both wide, %S and %hs are ANSI, read in the runtime's "C"
  // locale: each byte is the character of the same value.
  EXPECT_EQ(Wide(u"[%s|%ws]", u"ドライバ", u"x64"), "[ドライバ|x64]");
  EXPECT_EQ(Wide(u"[%S|%hs]", "caf\xE9", "ab"), "[café|ab]");
  // ANSI formats: %s is ANSI, %ws and %S wide, written in the "C" locale: up to U+00FF a byte
  // each; a character above it has no byte there, and the call fails with -1.
  EXPECT_EQ(Narrow("[%s|%ws|%S]", "log", u"café", u"x86"), "[log|caf\xE9|x86]");
  EXPECT_EQ(Narrow("[%s|%ws|%S]", "log", u"ポート", u"x86"), "<cut>");
  // A missing text prints as the runtime prints it.
  EXPECT_EQ(
      Wide(u"%s/%ws", static_cast<const char16_t*>(nullptr), static_cast<const char16_t*>(nullptr)),
      "(null)/(null)");
  EXPECT_EQ(Narrow("%s", static_cast<const char*>(nullptr)), "(null)");
  // Characters follow the same rule.
  EXPECT_EQ(Wide(u"%c%C", u'ポ', 'A'), "ポA");
}

TEST_F(SimFormatTest, AWideTextTheCLocaleCannotHoldEndsTheOutputBeforeIt) {
  // What came before the argument is kept and terminated; nothing after it is written.
  char buffer[32];
  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(NarrowInto(buffer, sizeof buffer, "path '%ws' gone", u"C:\\ドライバ"), -1);
  EXPECT_STREQ(buffer, "path '");
  std::memset(buffer, 'z', sizeof buffer);
  // A single character that cannot be converted is left out instead, and the output goes on.
  EXPECT_EQ(NarrowInto(buffer, sizeof buffer, "[%wc|%wc]", u'ポ', u'\u00E9'), 4);
  EXPECT_STREQ(buffer, "[|\xE9]");
  // Wide output has no such limit.
  EXPECT_EQ(Wide(u"path '%ws' gone", u"C:\\ドライバ"), "path 'C:\\ドライバ' gone");
}

TEST_F(SimFormatTest, NumbersPointersAndFlags) {
  EXPECT_EQ(Wide(u"%d %i %u", -5, 2147483647, 4294967295u), "-5 2147483647 4294967295");
  EXPECT_EQ(Wide(u"%d", static_cast<int>(0x80000000u)), "-2147483648");
  EXPECT_EQ(Wide(u"%x %X %#x", 0xBEEFu, 0xBEEFu, 255u), "beef BEEF 0xff");
  EXPECT_EQ(Wide(u"%ld %I64d %lld", 7, -9000000000LL, 1LL << 40), "7 -9000000000 1099511627776");
  EXPECT_EQ(Wide(u"100%%"), "100%");
  // Width, flags and precision are honoured rather than misread.
  EXPECT_EQ(Wide(u"[%5d|%-5d|%05d|%+d|%.3d]", 42, 42, -42, 3, 7), "[   42|42   |-0042|+3|007]");
  EXPECT_EQ(Wide(u"[%*s|%.2s]", 4, u"ab", u"abcdef"), "[  ab|ab]");
  // Pointers: uppercase hex, zero-filled to the pointer's width.
  std::string p = Narrow("%p", reinterpret_cast<void*>(0xABCDEF));
  EXPECT_EQ(p, std::string(sizeof(void*) * 2 - 6, '0') + "ABCDEF");
  // A format ending inside a conversion stops there.
  EXPECT_EQ(Wide(u"abc%"), "abc");
  EXPECT_EQ(Wide(u"abc%-5"), "abc");
}

// ----- FormatMessageW -----

LPWSTR SystemText(DWORD code,
                  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                  DWORD* length = nullptr, DWORD language = 0x400) {
  LPWSTR text = reinterpret_cast<LPWSTR>(0x1);  // must be overwritten
  DWORD n =
      FormatMessageW(flags, nullptr, code, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length) *length = n;
  return text;
}

TEST_F(SimFormatTest, SystemTextsAreAllocatedAndEndInALineBreak) {
  DWORD length = 0;
  LPWSTR text = SystemText(0, 0x1100, &length);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(U8(text), "The operation completed successfully.\r\n");
  EXPECT_EQ(length, 39u);
  EXPECT_EQ(sim::LiveHeapBlocks(), 1u);
  EXPECT_EQ(LocalFree(text), nullptr);

  for (DWORD code : {2u, 5u, 87u, 1056u, 1062u, 1722u, 1797u, 1801u, 1802u, 3001u}) {
    LPWSTR t = SystemText(code, 0x1300);
    ASSERT_NE(t, nullptr) << code;
    std::string s = U8(t);
    EXPECT_GT(s.size(), 4u) << code;
    EXPECT_EQ(s.substr(s.size() - 2), "\r\n") << code;
    LocalFree(t);
  }
  text = SystemText(1062);
  EXPECT_EQ(U8(text), "The service has not been started.\r\n");
  LocalFree(text);
  auto calls = sim::Calls("FormatMessageW");
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].args[0], "0x1100");
  EXPECT_EQ(calls[0].args[1], "0");
}

TEST_F(SimFormatTest, UnknownCodesAndOtherFailuresAllocateNothing) {
  SetLastError(0);
  DWORD length = 1;
  EXPECT_EQ(SystemText(0xDEAD, 0x1100, &length), nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(SystemText(5, 0x1100, &length, 0x0411), nullptr);  // Japanese: no language pack
  EXPECT_EQ(GetLastError(), 1815u);
  EXPECT_EQ(SystemText(5, FORMAT_MESSAGE_ALLOCATE_BUFFER, &length), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  sim::FailHeapAfter(0);
  EXPECT_EQ(SystemText(5, 0x1100, &length), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(sim::HeapAllocations(), 0u);
}

TEST_F(SimFormatTest, CallerBufferMustHoldTextAndTerminator) {
  WCHAR buffer[64];
  const DWORD needed = 19;  // "Access is denied.\r\n"; the terminator needs one more
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, needed, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, needed + 1, nullptr),
            needed);
  EXPECT_EQ(U8(buffer), "Access is denied.\r\n");
  // Width 0xFF drops the line break.
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | 0xFF, nullptr, 5, 0, buffer, 64, nullptr),
            17u);
  EXPECT_EQ(U8(buffer), "Access is denied.");
}

}  // namespace
