// The error record with its debugger output, the failure report text, and the user's boxes and
// status line.
#include "platform/sim/user.h"
#include "platform/sim/ui.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/strings.h"
#include "tests/support/sim_test.h"

namespace {

class MessagesTest : public SimTest {};

HWND Dialog() { return reinterpret_cast<HWND>(0x2200); }

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

TEST_F(MessagesTest, ReportErrorCapturesTheLastErrorFirstAndWritesFivePieces) {
  SetLastError(ERROR_ACCESS_DENIED);
  ReportError(TEXT("ファイル %s のコピーに失敗しました (%d)"), TEXT("ZQPrinter.PDD"), 3);
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(U8(LastErrorMessage), "ファイル ZQPrinter.PDD のコピーに失敗しました (3)");
  EXPECT_EQ(sim::DebugOutput(),
            (std::vector<std::string>{"\n", "ファイル ZQPrinter.PDD のコピーに失敗しました (3)",
                                      "\n", "Access is denied.\r\n", "\n\n"}));
  EXPECT_EQ(sim::CallNames({"OutputDebugStringW", "FormatMessageW", "LocalFree"}),
            (std::vector<std::string>{"LocalFree", "OutputDebugStringW", "OutputDebugStringW",
                                      "OutputDebugStringW", "FormatMessageW", "OutputDebugStringW",
                                      "OutputDebugStringW", "LocalFree"}));
  auto format = sim::Calls("FormatMessageW");
  ASSERT_EQ(format.size(), 1u);
  EXPECT_EQ(format[0].args, (std::vector<std::string>{"0x1300", "5", "0x400", "0"}));
}

// A failure that answers with a status is reported with that status, whatever the thread's last
// error was, and the status is left as the last error before the record is written.
TEST_F(MessagesTest, ReportErrorCodeRecordsTheGivenCodeNotTheLastError) {
  SetLastError(ERROR_ACCESS_DENIED);
  ReportErrorCode(ERROR_FILE_NOT_FOUND, TEXT("レジストリ '%ws' のオープンができません!"),
                  TEXT("Key"));
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(U8(LastErrorMessage), "レジストリ 'Key' のオープンができません!");
  auto output = sim::DebugOutput();
  ASSERT_EQ(output.size(), 5u);
  EXPECT_EQ(output[3], "The system cannot find the file specified.\r\n");
  EXPECT_EQ(sim::Calls("OutputDebugStringW")[0].lastError,
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(MessagesTest, ReportErrorKeepsTheCodeWhenTheSystemHasNoText) {
  // FormatMessageW fails afterwards with its own code; the captured one must survive it.
  SetLastError(0xDEAD);
  ReportError(TEXT("失敗"));
  EXPECT_EQ(LastErrorCode, 0xDEADu);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  auto output = sim::DebugOutput();
  ASSERT_EQ(output.size(), 5u);
  EXPECT_EQ(output[3], "");
  // Even with the heap exhausted the five pieces are written.
  sim::FailHeapAfter(0);
  SetLastError(ERROR_ACCESS_DENIED);
  ReportError(TEXT("二回目"));
  output = sim::DebugOutput();
  ASSERT_EQ(output.size(), 10u);
  EXPECT_EQ(output[6], "二回目");
  EXPECT_EQ(output[8], "");
}

TEST_F(MessagesTest, MessageIsShortenedInTheMiddleToFitAndReplacedByTheNextReport) {
  std::u16string exact = Repeat(u'あ', 1023);
  SetLastError(2);
  ReportError(TEXT("%s"), exact.c_str());
  EXPECT_EQ(std::u16string(LastErrorMessage), exact);
  std::u16string longer = Repeat(u'い', 1030);
  SetLastError(3);
  ReportError(TEXT("%s"), longer.c_str());
  EXPECT_EQ(std::u16string(LastErrorMessage), Repeat(u'い', 511) + u"…" + Repeat(u'い', 511));
  EXPECT_EQ(LastErrorCode, 3u);

  WCHAR report[MessageTextCapacity];
  FailureReport(report);
  // The message gives up what the abort notice, the code and the system's text need.
  const std::u16string rest =
      u"\nインストールの中断します.\n\nError code: 3\n詳細エラー: The system cannot find the path "
      u"specified.\r\n";
  const size_t kept = 1023 - rest.size() - 1;
  EXPECT_EQ(std::u16string(report),
            Repeat(u'い', (kept + 1) / 2) + u"…" + Repeat(u'い', kept / 2) + rest);
}

TEST_F(MessagesTest, FailureReportShowsTheLatestRecord) {
  SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
  ReportError(TEXT("最初"));
  SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
  ReportError(TEXT("プリンタの追加に失敗しました"));
  WCHAR report[MessageTextCapacity];
  FailureReport(report);
  EXPECT_EQ(U8(report),
            "プリンタの追加に失敗しました\nインストールの中断します.\n\nError code: 1797\n"
            "詳細エラー: The printer driver is unknown.\r\n");
}

TEST_F(MessagesTest, FailureReportForCodeZeroAndForCodesWithoutText) {
  SetLastError(0);
  ReportError(TEXT("バージョンが違います"));
  WCHAR report[MessageTextCapacity];
  FailureReport(report);
  EXPECT_EQ(U8(report),
            "バージョンが違います\nインストールの中断します.\n\nError code: 0\n"
            "詳細エラー: The operation completed successfully.\r\n");
  // A code beyond 0x7FFFFFFF shows as a signed number; no system text gives an empty detail.
  SetLastError(0x80070005u);
  ReportError(TEXT("x"));
  FailureReport(report);
  EXPECT_EQ(U8(report), "x\nインストールの中断します.\n\nError code: -2147024891\n詳細エラー: ");
}

TEST_F(MessagesTest, SystemErrorTextAlwaysGivesABlockToRelease) {
  LPWSTR text = SystemErrorText(1062);
  EXPECT_EQ(U8(text), "The service has not been started.\r\n");
  LocalFree(text);
  text = SystemErrorText(0xDEAD);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text[0], 0);
  LocalFree(text);
  sim::FailHeapAfter(0);
  EXPECT_EQ(SystemErrorText(5), nullptr);
}

// A system text with an insert keeps it, in the record and in the failure report.
TEST_F(MessagesTest, SystemTextsKeepTheirInserts) {
  LPWSTR text = SystemErrorText(193);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(U8(text), "%1 is not a valid Win32 application.\r\n");
  LocalFree(text);
  SetLastError(193);
  ReportError(TEXT("x"));
  WCHAR report[1024];
  FailureReport(report);
  EXPECT_EQ(U8(report),
            "x\nインストールの中断します.\n\nError code: 193\n詳細エラー: %1 is not a valid Win32 "
            "application.\r\n");
}

TEST_F(MessagesTest, BoxesCarryTheirCaptionsFlagsAndOwners) {
  ShowErrorBox(Dialog(), ProductTitle, TEXT("失敗しました"));
  ShowErrorBox(nullptr, CommandCaption, TEXT("起動"));
  EXPECT_FALSE(AskConfirm(Dialog(), TEXT("%sを置き換えますか? %s"), DriverName,
                          DefaultPrinterName));  // Enter: the default button, No
  sim::AnswerNextMessageBox(IDYES);
  EXPECT_TRUE(AskConfirm(Dialog(), TEXT("はい?")));
  ShowInfo(Dialog(), TEXT("%s はインストールされています"), DriverName);

  auto boxes = sim::MessageBoxes();
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[0].owner, Dialog());
  EXPECT_EQ(sim::Utf8(boxes[0].caption), "Brimcastelleプリンタドライバ インストーラ");
  EXPECT_EQ(boxes[0].flags, 0x10u);
  EXPECT_EQ(boxes[1].owner, nullptr);
  EXPECT_EQ(sim::Utf8(boxes[1].caption), "ZQInst.exe [ドライバ インスール]");
  EXPECT_EQ(sim::Utf8(boxes[2].text), "ZqDriver2を置き換えますか? ZQ Printer2");
  EXPECT_EQ(sim::Utf8(boxes[2].caption), "Confirm");
  EXPECT_EQ(boxes[2].flags, 0x124u);
  EXPECT_EQ(boxes[2].answer, IDNO);
  EXPECT_EQ(boxes[4].owner, Dialog());
  EXPECT_EQ(sim::Utf8(boxes[4].caption), "Confirm");
  EXPECT_EQ(boxes[4].flags, 0x40u);
  EXPECT_EQ(sim::Utf8(boxes[4].text), "ZqDriver2 はインストールされています");
}

TEST_F(MessagesTest, QuestionIsNoUnlessYesAndTextsAreShortened) {
  sim::AnswerNextMessageBox(IDCANCEL);  // anything but Yes
  EXPECT_FALSE(AskConfirm(Dialog(), TEXT("q")));
  sim::FailMessageBoxes(ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(AskConfirm(Dialog(), TEXT("q")));
  ShowInfo(Dialog(), TEXT("i"));  // simply returns
  sim::FailMessageBoxes(0);
  std::u16string longer = Repeat(u'x', 1100);
  ShowInfo(Dialog(), TEXT("%s"), longer.c_str());
  EXPECT_FALSE(AskConfirm(Dialog(), TEXT("%s"), longer.c_str()));
  auto boxes = sim::MessageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[1].text, Repeat(u'x', 511) + u"…" + Repeat(u'x', 511));
  EXPECT_EQ(boxes[2].text, Repeat(u'x', 511) + u"…" + Repeat(u'x', 511));
}

TEST_F(MessagesTest, StatusLineHoldsAtMost254Characters) {
  // A dialog window with the status line and a second item.
  HWND dialog = CreateWindowExW(0, u"#32770", u"", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(dialog, nullptr);
  for (int id : {1001, 1002})
    CreateWindowExW(0, u"Static", u"", WS_CHILD, 0, 0, 10, 10, dialog,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  auto Dialog = [dialog] { return dialog; };
  std::u16string exact = Repeat(u'状', 254);
  EXPECT_EQ(SetStatus(Dialog(), TEXT("%s"), exact.c_str()), TRUE);
  EXPECT_EQ(sim::DialogItemText(Dialog(), 1001), exact);
  std::u16string longer = Repeat(u'態', 300);
  SetStatus(Dialog(), TEXT("%s"), longer.c_str());
  EXPECT_EQ(sim::DialogItemText(Dialog(), 1001), Repeat(u'態', 127) + u"…" + Repeat(u'態', 126));
  EXPECT_EQ(SetItemTextFormatted(Dialog(), 1002, TEXT("%d/%d"), 1, 3), TRUE);
  EXPECT_EQ(sim::Utf8(sim::DialogItemText(Dialog(), 1002)), "1/3");
  EXPECT_EQ(sim::DialogItemText(Dialog(), 1001), Repeat(u'態', 127) + u"…" + Repeat(u'態', 126));
  EXPECT_EQ(SetStatus(nullptr, TEXT("gone")), FALSE);  // a closed dialog: ignored by callers
  DestroyWindow(dialog);
}

}  // namespace

// Texts built to fit: the quoted part gives way in the middle, the rest stays; no surrogate pair
// is split, neither by the shortening nor by a plain cut.
TEST_F(MessagesTest, TextsThatDoNotFitShortenTheirQuotedPartWithoutSplittingAPair) {
  struct Case {
    const char* name;
    std::u16string text;
    size_t capacity;
    std::u16string expected;
  } cases[] = {
      {"fits: exact", u"プリンタ名 'abc' は使用できません!", 30, u"プリンタ名 'abc' は使用できません!"},
      {"the quoted part gives way", u"ドライバ '" + Repeat(u'p', 100) + u"' がありません!", 30,
       u"ドライバ '" + Repeat(u'p', 7) + u"…" + Repeat(u'p', 6) + u"' がありません!"},
      {"no quotes: the whole text", Repeat(u'z', 40), 11, Repeat(u'z', 5) + u"…" + Repeat(u'z', 4)},
      {"pairs stay whole", u"'" + [] {
         std::u16string e;
         for (int i = 0; i < 20; ++i) e += u"\U0001F600";
         return e;
       }() + u"'", 12,
       u"'\U0001F600\U0001F600…\U0001F600\U0001F600'"},
      // Four units of the part stay at each end: the cut falls after either half of a pair.
      {"head cut after a high half", u"'abc\U0001F600" + Repeat(u'q', 10) + u"wxyz'", 12,
       u"'abc…wxyz'"},
      {"head cut after a low half", u"'ab\U0001F600" + Repeat(u'q', 10) + u"wxyz'", 12,
       u"'ab\U0001F600…wxyz'"},
      {"tail cut before a low half", u"'abcd" + Repeat(u'q', 10) + u"\U0001F600xyz'", 12,
       u"'abcd…xyz'"},
      {"tail cut before a high half", u"'abcd" + Repeat(u'q', 10) + u"\U0001F600yz'", 12,
       u"'abcd…\U0001F600yz'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<WCHAR> out(c.capacity, 0x7777);
    FitText(out.data(), c.capacity, c.text.c_str());
    EXPECT_EQ(std::u16string(out.data()), c.expected);
  }
  // A plain cut ends before a pair it would split.
  WCHAR cut[4] = {};
  BoundedCopy(cut, 4, u"ab\U0001F600");
  EXPECT_EQ(std::u16string(cut), u"ab");
  BoundedFormat(cut, 4, TEXT("%s"), u"a\U0001F600b");
  EXPECT_EQ(std::u16string(cut), u"a\U0001F600");
}
