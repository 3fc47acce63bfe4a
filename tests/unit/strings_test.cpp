// Bounded strings: capacity checks, where texts are cut and what is reported; heap strings.
#include <cstring>

#include "support/strings.h"
#include "tests/support/sim_test.h"

namespace {

class StringsTest : public SimTest {};

constexpr char16_t kFill = 0x5555;

TEST_F(StringsTest, FormatRejectsInvalidCapacitiesAndLeavesTheBuffer) {
  WCHAR buffer[8];
  std::fill(buffer, buffer + 8, kFill);
  EXPECT_EQ(BoundedFormat(buffer, 0, TEXT("abc")), E_INVALIDARG);
  EXPECT_EQ(BoundedFormat(buffer, 0x80000000u, TEXT("abc")), E_INVALIDARG);
  EXPECT_EQ(BoundedFormat(buffer, static_cast<size_t>(-1), TEXT("abc")), E_INVALIDARG);
  char narrow[4] = "zzz";
  EXPECT_EQ(BoundedFormat(narrow, 0, "abc"), E_INVALIDARG);
  EXPECT_EQ(BoundedFormat(narrow, 0x80000000u, "abc"), E_INVALIDARG);
  for (WCHAR c : buffer) EXPECT_EQ(c, kFill);
  EXPECT_STREQ(narrow, "zzz");
  // The largest capacity is valid: it is only a claim about the buffer.
  EXPECT_EQ(BoundedFormat(buffer, MaxStringCapacity, TEXT("%s-%d"), TEXT("ab"), 7), S_OK);
  EXPECT_EQ(U8(buffer), "ab-7");
}

TEST_F(StringsTest, FormatCapacityOneHoldsOnlyTheTerminator) {
  WCHAR buffer[2] = {kFill, kFill};
  EXPECT_EQ(BoundedFormat(buffer, 1, TEXT("x")), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], kFill);
  buffer[0] = kFill;
  EXPECT_EQ(BoundedFormat(buffer, 1, TEXT("")), S_OK);
  EXPECT_EQ(buffer[0], 0);
  char narrow[2] = {'z', 'z'};
  EXPECT_EQ(BoundedFormat(narrow, 1, "%d", 5), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(narrow[0], 0);
  EXPECT_EQ(narrow[1], 'z');
}

TEST_F(StringsTest, FormatExactFitStaysWholeOneMoreIsCut) {
  WCHAR buffer[8];
  std::fill(buffer, buffer + 8, kFill);
  EXPECT_EQ(BoundedFormat(buffer, 5, TEXT("%s"), TEXT("abcd")), S_OK);  // capacity - 1
  EXPECT_EQ(U8(buffer), "abcd");
  EXPECT_EQ(buffer[5], kFill);
  std::fill(buffer, buffer + 8, kFill);
  EXPECT_EQ(BoundedFormat(buffer, 5, TEXT("%s"), TEXT("abcde")), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(U8(buffer), "abcd");
  EXPECT_EQ(buffer[5], kFill);
  EXPECT_EQ(BoundedFormat(buffer, 5, TEXT("%d"), -123456), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(U8(buffer), "-123");

  char narrow[8];
  std::memset(narrow, 'z', sizeof narrow);
  EXPECT_EQ(BoundedFormat(narrow, 5, "%s%s", "ab", "cd"), S_OK);
  EXPECT_STREQ(narrow, "abcd");
  EXPECT_EQ(BoundedFormat(narrow, 5, "%s%s", "ab", "cde"), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_STREQ(narrow, "abcd");
}

TEST_F(StringsTest, WideAndAnsiPlaceholders) {
  WCHAR wide[64];
  EXPECT_EQ(BoundedFormat(wide, 64, TEXT("%s|%ws|%d"), TEXT("ドライバ"), TEXT("ドライバ"), -1),
            S_OK);
  EXPECT_EQ(U8(wide), "ドライバ|ドライバ|-1");
  char narrow[64];
  EXPECT_EQ(BoundedFormat(narrow, 64, "%s|%ws", "ZQPrinter2", TEXT("port")), S_OK);
  EXPECT_STREQ(narrow, "ZQPrinter2|port");
  // The runtime converts "%ws" in its "C" locale, which has no byte for a Japanese character:
  // the text stops before the placeholder and the call reports a cut text.
  EXPECT_EQ(BoundedFormat(narrow, 64, "%s|%ws", "ZQPrinter2", TEXT("ポート")),
            STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_STREQ(narrow, "ZQPrinter2|");
}

TEST_F(StringsTest, CopyKeepsCapacityMinusOne) {
  WCHAR buffer[8];
  std::fill(buffer, buffer + 8, kFill);
  EXPECT_EQ(BoundedCopy(buffer, 5, TEXT("abcde")), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(U8(buffer), "abcd");
  EXPECT_EQ(buffer[5], kFill);
  EXPECT_EQ(BoundedCopy(buffer, 5, TEXT("abcd")), S_OK);
  EXPECT_EQ(U8(buffer), "abcd");
  EXPECT_EQ(BoundedCopy(buffer, 1, TEXT("a")), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(BoundedCopy(buffer, MaxStringCapacity, TEXT("COM1:")), S_OK);
  EXPECT_EQ(U8(buffer), "COM1:");
  std::fill(buffer, buffer + 8, kFill);
  EXPECT_EQ(BoundedCopy(buffer, 0, TEXT("a")), E_INVALIDARG);
  EXPECT_EQ(BoundedCopy(buffer, 0x80000000u, TEXT("a")), E_INVALIDARG);
  EXPECT_EQ(BoundedCopy(buffer, 8, nullptr), E_INVALIDARG);
  EXPECT_EQ(buffer[0], kFill);
}

TEST_F(StringsTest, ConcatNeverLetsTheWholeExceedCapacityMinusOne) {
  char buffer[8] = "abc";
  EXPECT_EQ(BoundedConcat(buffer, 6, "de"), S_OK);
  EXPECT_STREQ(buffer, "abcde");
  // Full already (capacity - 1 bytes): nothing appended, the cut reported.
  EXPECT_EQ(BoundedConcat(buffer, 6, "f"), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_STREQ(buffer, "abcde");
  EXPECT_EQ(BoundedConcat(buffer, 6, ""), S_OK);
  std::strcpy(buffer, "ab");
  EXPECT_EQ(BoundedConcat(buffer, 6, "cdefgh"), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_STREQ(buffer, "abcde");
  // No terminator within the capacity: refused, untouched.
  char unterminated[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(BoundedConcat(unterminated, 4, "a"), E_INVALIDARG);
  EXPECT_EQ(std::memcmp(unterminated, "wxyz", 4), 0);
  EXPECT_EQ(BoundedConcat(buffer, 0, "a"), E_INVALIDARG);
  EXPECT_EQ(BoundedConcat(buffer, 0x80000000u, "a"), E_INVALIDARG);
}

TEST_F(StringsTest, LengthNeedsATerminatorWithinTheBound) {
  size_t length = 99;
  EXPECT_EQ(BoundedLength(TEXT("abc"), 3, &length), E_INVALIDARG);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(BoundedLength(TEXT("abc"), 4, &length), S_OK);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(BoundedLength(TEXT("ab"), 3, &length), S_OK);
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(BoundedLength(static_cast<LPCWSTR>(nullptr), 4, &length), E_INVALIDARG);
  EXPECT_EQ(BoundedLength(TEXT("a"), 0x80000000u, &length), E_INVALIDARG);
  EXPECT_EQ(BoundedLength(TEXT("a"), MaxStringCapacity, &length), S_OK);
  EXPECT_EQ(BoundedLength("abc", 3, &length), E_INVALIDARG);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(BoundedLength("abc", 4, &length), S_OK);
  EXPECT_EQ(length, 3u);
  // Bytes: the bound is halved (remainder dropped) and the length doubled.
  EXPECT_EQ(BoundedByteLength(TEXT("abc"), 7, &length), E_INVALIDARG);
  EXPECT_EQ(BoundedByteLength(TEXT("abc"), 8, &length), S_OK);
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(StringByteSize(TEXT("")), 2u);
  EXPECT_EQ(StringByteSize(TEXT("abc")), 8u);
}

TEST_F(StringsTest, MissingTextIsAProgrammingErrorNotACrash) {
  expectedDebugBreaks = 2;
  EXPECT_EQ(StringByteSize(nullptr), 0u);
  EXPECT_EQ(DuplicateString(nullptr), nullptr);
  EXPECT_EQ(sim::HeapAllocations(), 0u);
}

TEST_F(StringsTest, HeapStrings) {
  LPWSTR zeroed = AllocZeroedChars(4);
  ASSERT_NE(zeroed, nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(zeroed[i], 0);
  FreeString(zeroed);
  FreeString(nullptr);

  LPWSTR copy = DuplicateString(TEXT("ZQ Printer2"));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(U8(copy), "ZQ Printer2");
  FreeString(copy);

  LPWSTR joined = JoinStrings(TEXT("SOFTWARE\\"), TEXT("Printers\\"), TEXT("ZQ"),
                              static_cast<LPCWSTR>(nullptr));
  EXPECT_EQ(U8(joined), "SOFTWARE\\Printers\\ZQ");
  FreeString(joined);
  LPWSTR empty = JoinStrings(TEXT(""), static_cast<LPCWSTR>(nullptr));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  FreeString(empty);
  LPWSTR none = JoinStrings(static_cast<LPCWSTR>(nullptr));
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none[0], 0);
  FreeString(none);

  sim::FailHeapAfter(0);
  EXPECT_EQ(DuplicateString(TEXT("x")), nullptr);
  EXPECT_EQ(JoinPath(TEXT("a"), TEXT("b"), nullptr), nullptr);
}

TEST_F(StringsTest, JoinPathAlwaysInsertsOneBackslash) {
  LPWSTR path = JoinPath(TEXT("C:\\drivers\\x64"), TEXT("ZQPrinter_drv2.dll"), nullptr);
  EXPECT_EQ(U8(path), "C:\\drivers\\x64\\ZQPrinter_drv2.dll");
  FreeString(path);
  path = JoinPath(TEXT("C:\\"), TEXT("x86"), nullptr);
  EXPECT_EQ(U8(path), "C:\\\\x86");
  FreeString(path);
  path = JoinPath(TEXT("drv"), TEXT("x64"), TEXT("\\ZQPrinter.PDD"));
  EXPECT_EQ(U8(path), "drv\\x64\\ZQPrinter.PDD");
  FreeString(path);
}

}  // namespace
