// Port provisioning on the simulated machine: the monitor's dialog driven from the calling thread
// while the port thread waits in AddPortW, the searches repeated at each poll, and every failure
// with its message, what was registered, and no thread, window or handle left behind.
#include <thread>

#include "installation/steps.h"
#include "platform/sim/port_dialog.h"
#include "platform/sim/threads.h"
#include "platform/sim/ui.h"
#include "support/product.h"
#include "tests/unit/installation_fixture.h"

namespace {

class PortTest : public InstallationTest {
 protected:
  void TearDown() override {
    EXPECT_TRUE(sim::JoinAllThreads());
    EXPECT_EQ(sim::LiveThreads(), 0u);
    InstallationTest::TearDown();
  }
  static bool PortListed() {
    for (auto& port : sim::Ports())
      if (port.name == u"ZQVirtualPrinterPort") return port.monitor == u"Local Port";
    return false;
  }
  // The calls that drive the dialog, repeated searches shown once: how often the thread's windows
  // are searched before the port thread has shown anything depends on real thread timing.
  static std::vector<std::string> WindowCalls() {
    std::vector<std::string> out;
    for (auto& name :
         sim::CallNames({"CreateThread", "EnumThreadWindows", "FindWindowExW", "SetWindowTextW",
                         "PostMessageW", "TerminateThread", "CloseHandle"}))
      if (out.empty() || out.back() != name || name != "EnumThreadWindows") out.push_back(name);
    return out;
  }
  WCHAR buffer[128] = {};
};

TEST_F(PortTest, AMissingPortIsCreatedThroughTheMonitorsDialog) {
  ASSERT_TRUE(ProvisionPort(buffer, 256)) << Message();
  EXPECT_EQ(U8(buffer), "ZQVirtualPrinterPort");
  EXPECT_TRUE(PortListed());

  auto dialogs = sim::PortDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_TRUE(dialogs[0].confirmed);
  EXPECT_EQ(dialogs[0].name, u"ZQVirtualPrinterPort");
  EXPECT_EQ(sim::Calls("AddPortW")[0].args,
            (std::vector<std::string>{"(null)", "null", "Local Port"}));
  EXPECT_EQ(sim::Calls("AddPortW")[0].thread, dialogs[0].thread);  // on the port thread
  EXPECT_EQ(sim::Calls("CreateThread")[0].args[1], "0");           // default stack

  EXPECT_EQ(WindowCalls(), (std::vector<std::string>{
                               "CreateThread", "EnumThreadWindows", "FindWindowExW",
                               "SetWindowTextW", "PostMessageW", "PostMessageW", "CloseHandle"}));
  EXPECT_EQ(sim::Calls("FindWindowExW")[0].args,
            (std::vector<std::string>{sim::Ptr(dialogs[0].dialog), "null", "Edit", "(null)"}));
  EXPECT_EQ(sim::Calls("SetWindowTextW")[0].args,
            (std::vector<std::string>{sim::Ptr(dialogs[0].edit), "ZQVirtualPrinterPort"}));
  auto posts = sim::Calls("PostMessageW");
  EXPECT_EQ(posts[0].args,
            (std::vector<std::string>{sim::Ptr(dialogs[0].dialog), "0x111", "0x1", "0x0"}));
  // The carriage return carries the scan code itself as its key data.
  EXPECT_EQ(posts[1].args,
            (std::vector<std::string>{sim::Ptr(dialogs[0].dialog), "0x102", "0xd", "0x1c"}));
  auto waits = sim::Calls("WaitForSingleObject");
  ASSERT_FALSE(waits.empty());  // the port thread is waited for in polls of 5 ms
  for (auto& wait : waits) EXPECT_EQ(wait.args[1], "5");
}

TEST_F(PortTest, AnExistingPortInAnyCaseStartsNoThread) {
  sim::AddPort(u"zqvirtualprinterport");
  sim::AddPrinter(PrinterOf(u"Other", u"Other Driver", u"zqvirtualprinterport"));
  ASSERT_TRUE(ProvisionPort(buffer, 256)) << Message();
  EXPECT_EQ(U8(buffer), "ZQVirtualPrinterPort");
  EXPECT_EQ(sim::ThreadsStarted(), 0u);
  EXPECT_EQ(sim::CallCount("AddPortW"), 0u);
  EXPECT_TRUE(sim::PortDialogs().empty());
}

TEST_F(PortTest, APrinterAlreadyOnTheMissingPortChangesNothing) {
  sim::AddPrinter(PrinterOf(u"Other", u"Other Driver"));
  ASSERT_TRUE(ProvisionPort(buffer, 256)) << Message();
  EXPECT_TRUE(PortListed());
  EXPECT_EQ(sim::PortDialogs().size(), 1u);
}

TEST_F(PortTest, TheCapacityMustExceedTheNamesFortyTwoBytes) {
  for (WCHAR& c : buffer) c = u'#';
  EXPECT_FALSE(ProvisionPort(buffer, 42));
  EXPECT_EQ(Message(), "ポート名 'ZQVirtualPrinterPort' が長すぎます!");
  EXPECT_EQ(LastErrorCode, 122u);  // ERROR_INSUFFICIENT_BUFFER
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(sim::CallCount("EnumPortsW"), 0u);

  ASSERT_TRUE(ProvisionPort(buffer, 43)) << Message();
  EXPECT_EQ(U8(buffer), "ZQVirtualPrinterPort");
  EXPECT_EQ(buffer[21], u'#');  // exactly the name and its terminator were written
}

TEST_F(PortTest, TheDialogIsSearchedForAtEachPollUntilItAppears) {
  sim::PortDialogScript script;
  script.appearAfterEnumerations = 3;
  sim::SetPortDialogScript(script);
  ASSERT_TRUE(ProvisionPort(buffer, 256)) << Message();
  // Three searches while the dialog was due found nothing; the fourth found it and was the last.
  EXPECT_EQ(sim::PortDialogs()[0].enumerations, 4);
  EXPECT_EQ(sim::CallCount("FindWindowExW"), 1u);
  EXPECT_GE(sim::CallCount("WaitForSingleObject"), 4u);  // a poll after each search
  EXPECT_TRUE(PortListed());
}

TEST_F(PortTest, ALateEditFieldIsSearchedForInTheSameDialog) {
  sim::PortDialogScript script;
  script.editAfterSearches = 3;
  sim::SetPortDialogScript(script);
  ASSERT_TRUE(ProvisionPort(buffer, 256)) << Message();
  auto searches = sim::Calls("FindWindowExW");
  ASSERT_EQ(searches.size(), 4u);
  for (auto& search : searches) EXPECT_EQ(search.args[0], searches[0].args[0]);
  EXPECT_TRUE(PortListed());
}

TEST_F(PortTest, TheThreadsImeWindowIsPassedOver) {
  sim::PortDialogScript script;
  script.imeWindowFirst = true;
  sim::SetPortDialogScript(script);
  ASSERT_TRUE(ProvisionPort(buffer, 256)) << Message();
  auto dialog = sim::PortDialogs()[0].dialog;
  EXPECT_EQ(sim::Calls("FindWindowExW")[0].args[0], sim::Ptr(dialog));
  EXPECT_EQ(sim::Calls("PostMessageW")[0].args[0], sim::Ptr(dialog));
  EXPECT_TRUE(PortListed());
}

TEST_F(PortTest, APortThatWasNotAddedIsReported) {
  struct Case {
    const char* what;
    void (*stage)();
    DWORD code;  // the port thread's reason
  } cases[] = {
      {"the person cancels before the name is written",
       [] {
         sim::PortDialogScript script;
         script.appearAfterEnumerations = 2;
         script.person = sim::PortDialogScript::Person::kCancels;
         sim::SetPortDialogScript(script);
       },
       ERROR_CANCELLED},
      {"a dialog without an edit field, closed by the person",
       [] {
         sim::PortDialogScript script;
         script.hasEdit = false;
         script.person = sim::PortDialogScript::Person::kCancels;
         script.actAfterPolls = 3;
         sim::SetPortDialogScript(script);
       },
       ERROR_CANCELLED},
      {"AddPortW fails at once", [] { sim::FailAlways("AddPortW", ERROR_ACCESS_DENIED); },
       ERROR_ACCESS_DENIED},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    c.stage();
    EXPECT_FALSE(ProvisionPort(buffer, 256));
    EXPECT_EQ(Message(), "ポート 'ZQVirtualPrinterPort' が登録ができません!");
    EXPECT_EQ(LastErrorCode, c.code);
    EXPECT_EQ(sim::CallCount("SetWindowTextW"), 0u);  // no input was simulated
    EXPECT_EQ(sim::CallCount("PostMessageW"), 0u);
    EXPECT_EQ(sim::CallCount("TerminateThread"), 0u);
    EXPECT_FALSE(PortListed());
    EXPECT_TRUE(sim::JoinAllThreads());
    EXPECT_EQ(sim::OpenHandles(), 0u);
    EXPECT_EQ(sim::LiveWindows(), 0u);
  }
}

TEST_F(PortTest, SuccessWithoutThePortListedIsCaughtByTheSecondCheck) {
  sim::SetLocalPortSucceedsUnlisted(true);
  EXPECT_FALSE(ProvisionPort(buffer, 256));
  EXPECT_EQ(Message(), "ポート 'ZQVirtualPrinterPort' が登録できません!");
  EXPECT_TRUE(sim::PortDialogs()[0].confirmed);
  EXPECT_FALSE(PortListed());
}

TEST_F(PortTest, ListingsThatFail) {
  struct Case {
    const char* what;
    void (*stage)();
    const char* message;
    bool added;
  } cases[] = {
      {"printers", [] { sim::FailAlways("EnumPrintersW", ERROR_ACCESS_DENIED); },
       "メモリが不足しています!", false},
      {"ports, first check", [] { sim::FailNth("EnumPortsW", 1, ERROR_ACCESS_DENIED); },
       "ポートの登録が確認できません!", false},
      // The first check takes two calls (size, fill); the second check's size query fails.
      {"ports, second check", [] { sim::FailNth("EnumPortsW", 3, ERROR_ACCESS_DENIED); },
       "ポートの登録が確認ができません!", true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    c.stage();
    EXPECT_FALSE(ProvisionPort(buffer, 256));
    EXPECT_EQ(Message(), c.message);
    EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(PortListed(), c.added);
    EXPECT_EQ(sim::ThreadsStarted(), c.added ? 1u : 0u);
    EXPECT_TRUE(sim::JoinAllThreads());
  }
}

TEST_F(PortTest, APortThreadThatCannotBeStartedOrWaitedFor) {
  sim::FailAlways("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(AddLocalPortViaMonitor(PortName));
  EXPECT_EQ(Message(), "");  // records nothing
  EXPECT_EQ(sim::CallCount("EnumThreadWindows"), 0u);

  // A wait that fails leaves the dialog to nobody: the thread is terminated and its handle closed.
  sim::Reset();
  sim::PortDialogScript script;
  script.hasEdit = false;
  sim::SetPortDialogScript(script);
  sim::FailNth("WaitForSingleObject", 3, ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ProvisionPort(buffer, 256));
  EXPECT_EQ(Message(), "ポート 'ZQVirtualPrinterPort' が登録ができません!");
  // Three polls, then the wait that confirms the termination before the request is released.
  auto waits = sim::Calls("WaitForSingleObject");
  ASSERT_EQ(waits.size(), 4u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(waits[i].args[1], "5");
  EXPECT_EQ(waits[3].args[1], std::to_string(INFINITE));
  auto terminate = sim::Calls("TerminateThread");
  ASSERT_EQ(terminate.size(), 1u);
  EXPECT_EQ(terminate[0].args[1], "0");
  EXPECT_EQ(sim::CallNames({"TerminateThread", "CloseHandle"}),
            (std::vector<std::string>{"TerminateThread", "CloseHandle"}));
  EXPECT_TRUE(sim::JoinAllThreads());
  EXPECT_EQ(sim::ParkedThreads(), 1u);
  EXPECT_FALSE(PortListed());
}

TEST_F(PortTest, ThePortRequestOutlivesAPortThreadThatCannotBeEnded) {
  // The wait for the port thread fails and so does its termination: the call returns while the
  // thread is still in the monitor's dialog and will write its result into the request later.
  sim::PortDialogScript script;
  script.hasEdit = false;  // no input is simulated: the thread stays in the dialog
  sim::SetPortDialogScript(script);
  sim::FailNth("WaitForSingleObject", 3, ERROR_INVALID_HANDLE);
  sim::FailAlways("TerminateThread", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(AddLocalPortViaMonitor(PortName));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));  // the wait's reason
  // The request is the port thread's now: still allocated, not a frame that has gone.
  EXPECT_EQ(sim::LiveHeapBlocks(), 1u);

  // The person cancels the dialog at last: the thread stores its result and lets go.
  HWND dialog = nullptr;
  while (!dialog) {
    auto dialogs = sim::PortDialogs();
    if (!dialogs.empty()) dialog = dialogs[0].dialog;
    if (!dialog) std::this_thread::yield();
  }
  sim::ClickButton(dialog, IDCANCEL);
  EXPECT_TRUE(sim::JoinAllThreads());
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_FALSE(PortListed());
}

}  // namespace
