// The scripted user behind MessageBoxW, and the minimal dialog item texts.
#include <thread>

#include "platform/sim/user.h"
#include "tests/support/sim_test.h"

namespace {

class SimUserTest : public SimTest {};

HWND Window(uintptr_t value) { return reinterpret_cast<HWND>(value); }

TEST_F(SimUserTest, EnterPressesTheDefaultButton) {
  EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_ICONERROR), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_OK | MB_DEFBUTTON2), IDOK);  // no second button
  EXPECT_EQ(sim::MessageBoxes().size(), 6u);
}

TEST_F(SimUserTest, RulesAnswerInOrderAndAreRecorded) {
  sim::AnswerMessageBox("Confirm", "置き換え", IDYES);
  sim::AnswerMessageBox("Confirm", "", IDNO);
  sim::AnswerNextMessageBox(IDCANCEL);  // registered last: only boxes no earlier rule takes
  EXPECT_EQ(MessageBoxW(Window(0x40), u"ドライバを置き換えますか?", u"Confirm", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxW(Window(0x40), u"other", u"Confirm", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"Other", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"Other", MB_OKCANCEL), IDOK);  // once only
  EXPECT_EQ(MessageBoxW(nullptr, nullptr, nullptr, MB_OK), IDOK);

  auto boxes = sim::MessageBoxes();
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[0].owner, Window(0x40));
  EXPECT_EQ(sim::Utf8(boxes[0].caption), "Confirm");
  EXPECT_EQ(sim::Utf8(boxes[0].text), "ドライバを置き換えますか?");
  EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(boxes[0].answer, IDYES);
  EXPECT_EQ(boxes[0].thread, GetCurrentThreadId());
  EXPECT_EQ(sim::Utf8(boxes[4].caption), "Error");  // Windows' caption for none
  EXPECT_EQ(sim::Utf8(boxes[4].text), "");
  sim::Reset();
  EXPECT_TRUE(sim::MessageBoxes().empty());
  EXPECT_EQ(MessageBoxW(nullptr, u"ドライバを置き換え", u"Confirm", MB_YESNO),
            IDYES);  // rules gone
}

TEST_F(SimUserTest, CallbackRunsWhileTheBoxIsUpWithoutTheMachineLock) {
  sim::MessageBoxRule rule;
  rule.textContains = "wait";
  rule.answer = IDNO;
  size_t seenBoxes = 0;
  rule.onShow = [&](const sim::MessageBoxRecord& box) {
    EXPECT_EQ(box.answer, IDNO);
    seenBoxes = sim::MessageBoxes().size();
    // Another thread must be able to use the machine meanwhile.
    std::thread other([] { OutputDebugStringW(u"from another thread"); });
    other.join();
  };
  sim::AnswerMessageBox(rule);
  EXPECT_EQ(MessageBoxW(nullptr, u"please wait", u"c", MB_YESNO), IDNO);
  EXPECT_EQ(seenBoxes, 1u);
  EXPECT_EQ(sim::DebugOutput().back(), "from another thread");
}

TEST_F(SimUserTest, BoxesThatFailToAppearReturnZero) {
  sim::FailMessageBoxes(ERROR_NOT_ENOUGH_MEMORY);
  SetLastError(0);
  EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_YESNO), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  sim::FailMessageBoxes(0);
  EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", 0x7), 0);  // no such button set
  EXPECT_EQ(GetLastError(), 1438u);
  sim::FailAlways("MessageBoxW", ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_OK), 0);
  EXPECT_TRUE(sim::MessageBoxes().empty());
  EXPECT_EQ(sim::CallCount("MessageBoxW"), 3u);
}


}  // namespace
