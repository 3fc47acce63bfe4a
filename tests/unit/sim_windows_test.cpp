// The simulated window manager: windows and their messages, queues across threads, dialogs from
// templates and their modal loop, what the screen showed, and the Local Port monitor's dialog.
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "installation/steps.h"
#include "platform/sim/dialog_templates.h"
#include "platform/sim/port_dialog.h"
#include "platform/sim/threads.h"
#include "platform/sim/ui.h"
#include "tests/support/sim_test.h"

namespace {

struct Seen {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD thread;
};

std::mutex seenMutex;
std::vector<Seen> seen;
std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> windowHandler;
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> dialogHandler;

void Record(HWND h, UINT m, WPARAM w, LPARAM l) {
  std::lock_guard<std::mutex> lock(seenMutex);
  seen.push_back({h, m, w, l, GetCurrentThreadId()});
}

std::vector<Seen> SeenMessages(std::vector<UINT> only) {
  std::lock_guard<std::mutex> lock(seenMutex);
  std::vector<Seen> out;
  for (auto& s : seen)
    if (std::find(only.begin(), only.end(), s.message) != only.end()) out.push_back(s);
  return out;
}

LRESULT RecordingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  Record(h, m, w, l);
  if (windowHandler) {
    LRESULT r = windowHandler(h, m, w, l);
    if (r != -12345) return r;
  }
  return DefWindowProcW(h, m, w, l);
}

INT_PTR RecordingDialogProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  Record(h, m, w, l);
  return dialogHandler ? dialogHandler(h, m, w, l) : FALSE;
}

const char kTestScript[] =
    "#define IDC_NAME 201\n"
    "200 DIALOGEX 10, 20, 100, 40\n"
    "STYLE DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU\n"
    "CAPTION \"Test\"\n"
    "FONT 9, \"Face\", 400, 0, 128\n"
    "BEGIN\n"
    "    LTEXT \"status\", 1001, 7, 7, 80, 8\n"
    "    EDITTEXT IDC_NAME, 7, 18, 80, 12, ES_AUTOHSCROLL\n"
    "    DEFPUSHBUTTON \"Go\", 10, 7, 30, 40, 10\n"
    "END\n"
    "300 DIALOGEX 0, 0, 100, 40\n"
    "STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU\n"
    "BEGIN\n"
    "    PUSHBUTTON \"Cancel\", IDCANCEL, 7, 30, 40, 10, WS_DISABLED\n"
    "END\n";

class SimWindowsTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    {
      std::lock_guard<std::mutex> lock(seenMutex);
      seen.clear();
    }
    windowHandler = nullptr;
    dialogHandler = nullptr;
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = u"Recorder";
    ASSERT_NE(RegisterClassW(&wc), 0);
  }
  void TearDown() override {
    EXPECT_TRUE(sim::JoinAllThreads());
    EXPECT_EQ(sim::LiveWindows(), 0u) << "windows left";
    windowHandler = nullptr;
    dialogHandler = nullptr;
    SimTest::TearDown();
  }
  HWND Create(DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr, int id = 0) {
    return CreateWindowExW(0, u"Recorder", u"w", style, 10, 20, 200, 100, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
  }
};

// Waits (real time) until the thread has a top-level window of the class, shown when `visible`
// (a modal dialog is shown when its loop starts); none after 5 s.
HWND WaitForWindow(DWORD thread, const char16_t* className, bool visible = true) {
  for (int i = 0; i < 5000; ++i) {
    for (auto& w : sim::Windows())
      if (w.thread == thread && !w.parent && w.className == className && (w.visible || !visible))
        return w.hwnd;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return nullptr;
}

// ----- windows -----
TEST_F(SimWindowsTest, ClassesAndWindowsFailAsWindowsDoes) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = u"RECORDER";  // class names ignore case
  SetLastError(0);
  EXPECT_EQ(RegisterClassW(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  EXPECT_EQ(CreateWindowExW(0, u"Nope", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(Create(WS_CHILD), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
  EXPECT_EQ(Create(WS_CHILD, reinterpret_cast<HWND>(0x777)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  // A window procedure that refuses WM_CREATE gets no window.
  windowHandler = [](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    return m == WM_CREATE ? -1 : -12345;
  };
  EXPECT_EQ(Create(), nullptr);
  EXPECT_EQ(SeenMessages({WM_NCDESTROY}).size(), 1u);
}

TEST_F(SimWindowsTest, CreationAndDestructionMessagesComeInWindowsOrder) {
  int param = 5;
  windowHandler = [&](HWND, UINT m, WPARAM, LPARAM l) -> LRESULT {
    if (m == WM_CREATE) EXPECT_EQ(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams, &param);
    return -12345;
  };
  HWND top = CreateWindowExW(0, u"Recorder", u"top", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                             nullptr, nullptr, &param);
  ASSERT_NE(top, nullptr);
  windowHandler = nullptr;
  HWND child = Create(WS_CHILD | WS_VISIBLE, top, 7);
  HWND owned = Create(WS_POPUP, top);  // a top-level window owned by `top`
  ASSERT_TRUE(child && owned);
  EXPECT_EQ(sim::Inspect(owned)->owner, top);
  EXPECT_EQ(sim::Inspect(child)->parent, top);
  EXPECT_EQ(GetDlgItem(top, 7), child);
  auto created = SeenMessages({WM_NCCREATE, WM_CREATE});
  ASSERT_EQ(created.size(), 6u);
  EXPECT_EQ(created[0].message, static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(created[1].message, static_cast<UINT>(WM_CREATE));

  EXPECT_TRUE(SetPropW(top, u"hwndDialogWindow", &param));
  EXPECT_TRUE(DestroyWindow(top));
  std::vector<std::pair<HWND, UINT>> order;
  for (auto& s : SeenMessages({WM_DESTROY, WM_NCDESTROY})) order.emplace_back(s.hwnd, s.message);
  // Owned windows first; then WM_DESTROY parent before child, WM_NCDESTROY child before parent.
  std::vector<std::pair<HWND, UINT>> expected{{owned, WM_DESTROY},   {owned, WM_NCDESTROY},
                                              {top, WM_DESTROY},     {child, WM_DESTROY},
                                              {child, WM_NCDESTROY}, {top, WM_NCDESTROY}};
  EXPECT_EQ(order, expected);
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(GetPropW(top, u"hwndDialogWindow"), nullptr);  // the property went with the window
  SetLastError(0);
  EXPECT_FALSE(DestroyWindow(top));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(SimWindowsTest, OnlyTheOwnerThreadDestroysAWindow) {
  HWND w = Create();
  BOOL result = TRUE;
  DWORD error = 0;
  std::thread other([&] {
    result = DestroyWindow(w);
    error = GetLastError();
  });
  other.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(IsWindow(w));
  EXPECT_TRUE(DestroyWindow(w));
}

TEST_F(SimWindowsTest, ClosingAPlainWindowEndsTheMessageLoopThroughTheQuitMessage) {
  windowHandler = [](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m != WM_DESTROY) return -12345;
    PostQuitMessage(3);
    return 0;
  };
  HWND w = Create();
  EXPECT_TRUE(PostMessageW(w, WM_USER, 1, 2));
  EXPECT_TRUE(PostMessageW(w, WM_CLOSE, 0, 0));
  MSG msg;
  int dispatched = 0;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    ++dispatched;
  }
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_EQ(dispatched, 2);
  EXPECT_FALSE(IsWindow(w));  // DefWindowProcW destroyed it on WM_CLOSE
  EXPECT_EQ(SeenMessages({WM_USER}).at(0).lParam, 2);
}

TEST_F(SimWindowsTest, QueuesKeepOrderFilterAndReachThreads) {
  HWND a = Create(), b = Create();
  PostQuitMessage(0);
  PostMessageW(a, WM_USER + 1, 0, 0);
  PostMessageW(b, WM_USER + 2, 0, 0);
  PostMessageW(a, WM_USER + 3, 0, 0);
  MSG msg;
  ASSERT_EQ(GetMessageW(&msg, b, 0, 0), TRUE);  // a window filter takes that window's only
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
  ASSERT_EQ(GetMessageW(&msg, nullptr, WM_USER + 3, WM_USER + 3), TRUE);  // a range filter
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);  // WM_QUIT waits for the posted messages
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(GetMessageW(&msg, reinterpret_cast<HWND>(0x777), 0, 0), -1);

  // A thread message to a thread that has a queue; none to one that never used windows.
  EXPECT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER + 9, 4, 0));
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.wParam, 4u);
  DWORD plain = 0;
  std::thread([&] { plain = GetCurrentThreadId(); }).join();
  SetLastError(0);
  EXPECT_FALSE(PostThreadMessageW(plain, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));

  // A key press becomes a character message behind it.
  PostMessageW(a, WM_KEYDOWN, VK_RETURN, 0x1C0001);
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_TRUE(TranslateMessage(&msg));
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('\r'));
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST_F(SimWindowsTest, PropertiesIgnoreCaseAndCanBeRemoved) {
  HWND w = Create();
  int x = 0, y = 0;
  EXPECT_TRUE(SetPropW(w, u"hwndDialogWindow", &x));
  EXPECT_EQ(GetPropW(w, u"HWNDDIALOGWINDOW"), &x);
  EXPECT_TRUE(SetPropW(w, u"hwndDialogWindow", &y));  // replaces
  EXPECT_EQ(RemovePropW(w, u"hwnddialogwindow"), &y);
  EXPECT_EQ(GetPropW(w, u"hwndDialogWindow"), nullptr);
  EXPECT_EQ(RemovePropW(w, u"hwndDialogWindow"), nullptr);
  EXPECT_FALSE(SetPropW(reinterpret_cast<HWND>(0x777), u"p", &x));
  DestroyWindow(w);
}

TEST_F(SimWindowsTest, GeometryFollowsTheWorkAreaAndMoves) {
  RECT area{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
  EXPECT_EQ(area.right, 1280);
  EXPECT_EQ(area.bottom, 984);
  sim::SetWorkArea(RECT{100, 50, 900, 650});
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
  EXPECT_EQ(area.left, 100);
  EXPECT_FALSE(SystemParametersInfoW(0x1234, 0, &area, 0));

  HWND top = Create(WS_POPUP | WS_CAPTION);
  HWND child = Create(WS_CHILD, top, 1);
  RECT r{};
  ASSERT_TRUE(GetWindowRect(top, &r));
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.right, 210);
  ASSERT_TRUE(GetWindowRect(child, &r));
  EXPECT_EQ(r.left, 10 + 3 + 10);      // parent's left, its frame, the child's x
  EXPECT_EQ(r.top, 20 + 3 + 22 + 20);  // parent's top, frame, caption bar, the child's y
  ASSERT_TRUE(SetWindowPos(top, nullptr, -40, 7, 1, 1, SWP_NOSIZE | SWP_NOZORDER));
  ASSERT_TRUE(GetWindowRect(top, &r));
  EXPECT_EQ(r.left, -40);
  EXPECT_EQ(r.top, 7);
  EXPECT_EQ(r.right - r.left, 200);  // size kept
  ASSERT_TRUE(GetWindowRect(child, &r));
  EXPECT_EQ(r.left, -40 + 3 + 10);  // children move with their parent
  DestroyWindow(top);
}

TEST_F(SimWindowsTest, EnableAndShowReportThePreviousStateAndNotify) {
  HWND w = Create();
  EXPECT_FALSE(EnableWindow(w, FALSE));  // was enabled
  EXPECT_TRUE(EnableWindow(w, FALSE));   // was disabled
  EXPECT_FALSE(IsWindowEnabled(w));
  EXPECT_TRUE(EnableWindow(w, TRUE));
  EXPECT_EQ(SeenMessages({WM_ENABLE}).size(), 2u);  // only changes are announced
  EXPECT_FALSE(ShowWindow(w, SW_SHOW));
  EXPECT_TRUE(ShowWindow(w, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_TRUE(ShowWindow(w, SW_HIDE));
  EXPECT_EQ(SeenMessages({WM_SHOWWINDOW}).size(), 2u);
  DestroyWindow(w);
}

TEST_F(SimWindowsTest, SystemResourcesModuleAndKeys) {
  HMODULE module = GetModuleHandleW(nullptr);
  EXPECT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleW(u"zqinst.exe"), module);
  EXPECT_EQ(GetModuleHandleW(u"other.dll"), nullptr);
  EXPECT_NE(LoadIconW(nullptr, IDI_APPLICATION), nullptr);
  EXPECT_NE(LoadIconW(module, MAKEINTRESOURCEW(104)), nullptr);  // the shipped icon group
  SetLastError(0);
  EXPECT_EQ(LoadIconW(module, MAKEINTRESOURCEW(32512)), nullptr);  // the module has no such icon
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
  EXPECT_EQ(MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC), 0x1Cu);
  EXPECT_EQ(MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC), 0x01u);
  InitCommonControls();
  EXPECT_EQ(sim::CallCount("InitCommonControls"), 1u);
}

// ----- templates -----
TEST_F(SimWindowsTest, TheReaderUnderstandsTheDialogGrammarAndPassesOverTheRest) {
  const std::string text =
      "#include <winresrc.h>\n"
      "#include \"ids.h\"\n"
      "#pragma code_page(65001)\n"
      "LANGUAGE 0x11, 0x01\n"
      "/* a comment BEGIN */\n"
      "IDD_X DIALOGEX 0, 0, 187, 52 // trailing comment\n"
      "STYLE DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU\n"
      "EXSTYLE WS_EX_TOPMOST\n"
      "CAPTION \"Say \"\"hi\"\"\\n\"\n"
      "FONT 9, \"ＭＳ Ｐゴシック\", 400, 0, 128\n"
      "BEGIN\n"
      "    LTEXT           \"実行中\", 1001, 7, 7, 173, 30\n"
      "    LTEXT           \"x\", -1, 1, 2, 3, 4, NOT WS_GROUP\n"
      "    CONTROL         \"t\", IDC_A, \"Button\", BS_DEFPUSHBUTTON | WS_TABSTOP, 1, 2, 3, 4, "
      "0x200\n"
      "    EDITTEXT        0x20, 1, 2, 3, 4, ES_AUTOHSCROLL | NOT WS_BORDER\n"
      "END\n"
      "IDI_Y ICON \"y.ico\"\n"
      "STRINGTABLE BEGIN 1 \"x\" END\n"
      "VS_VERSION_INFO VERSIONINFO\n FILEVERSION 2,0,0,0\nBEGIN\n BLOCK \"a\"\n BEGIN\n"
      "  VALUE \"b\", \"c\"\n END\nEND\n"
      "BROKEN DIALOGEX 0, 0, 1, 1\nBEGIN\n  WIDGET \"w\", 1, 2, 3, 4, 5\nEND\n"
      "NAMED DIALOG 1, 2, 3, 4\nBEGIN\nEND\n";
  auto script = sim::ParseResourceScript(text, [](const std::string& name) {
    EXPECT_EQ(name, "ids.h");
    return std::optional<std::string>(
        "#define IDD_X 150\n#define IDC_A 0x10\n#define IDI_Y (104)\n");
  });
  ASSERT_EQ(script.dialogs.size(), 2u);
  ASSERT_EQ(script.errors.size(), 1u) << script.errors[0];
  EXPECT_NE(script.errors[0].find("WIDGET"), std::string::npos);
  EXPECT_EQ(script.icons, std::vector<int>{104});
  const sim::DialogTemplate* d = script.FindDialog(MAKEINTRESOURCEW(150));
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->extended);
  EXPECT_EQ(d->style, 0x80C808C0u);
  EXPECT_EQ(d->exStyle, 0x8u);
  EXPECT_EQ(sim::Utf8(d->caption), "Say \"hi\"\n");
  EXPECT_EQ(d->cx, 187);
  EXPECT_EQ(d->cy, 52);
  EXPECT_EQ(sim::Utf8(d->fontFace), "ＭＳ Ｐゴシック");
  EXPECT_EQ(d->fontSize, 9);
  EXPECT_EQ(d->fontWeight, 400);
  EXPECT_EQ(d->fontCharset, 128);
  ASSERT_EQ(d->items.size(), 4u);
  EXPECT_EQ(sim::Utf8(d->items[0].text), "実行中");
  EXPECT_EQ(sim::Utf8(d->items[0].className), "Static");
  EXPECT_EQ(d->items[0].style, 0x50020000u);  // LTEXT's defaults: child, visible, group, left
  EXPECT_EQ(d->items[1].id, -1);
  EXPECT_EQ(d->items[1].style, 0x50000000u);  // NOT removed WS_GROUP
  EXPECT_EQ(d->items[2].id, 0x10);
  EXPECT_EQ(d->items[2].style, 0x50010001u);
  EXPECT_EQ(d->items[2].exStyle, 0x200u);
  EXPECT_EQ(sim::Utf8(d->items[3].className), "Edit");
  EXPECT_EQ(d->items[3].style, 0x50010080u);        // EDITTEXT's border removed, tab stop kept
  EXPECT_NE(script.FindDialog(u"named"), nullptr);  // names ignore case
  EXPECT_EQ(script.FindDialog(MAKEINTRESOURCEW(151)), nullptr);
  EXPECT_EQ(sim::DialogUnitsToPixelsX(187), 281);
  EXPECT_EQ(sim::DialogUnitsToPixelsY(52), 85);
  EXPECT_EQ(sim::DialogUnitsToPixelsX(7), 11);
  EXPECT_EQ(sim::DialogUnitsToPixelsY(7), 11);
}

TEST_F(SimWindowsTest, TheShippedProgressTemplateBuildsItsDialog) {
  HWND dialog = nullptr;
  dialogHandler = [&](HWND h, UINT m, WPARAM, LPARAM l) -> INT_PTR {
    if (m != WM_INITDIALOG) return FALSE;
    dialog = h;
    EXPECT_EQ(l, 0x1234);
    EndDialog(h, 42);
    return TRUE;
  };
  INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101), nullptr,
                                   RecordingDialogProc, 0x1234);
  EXPECT_EQ(result, 42);
  EXPECT_FALSE(IsWindow(dialog));
  // The dialog procedure hears of the font first; creation messages never reach it.
  std::lock_guard<std::mutex> lock(seenMutex);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_SETFONT));
  EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_INITDIALOG));
  auto texts = sim::TextHistory();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[1].id, 1001);
  EXPECT_EQ(sim::Utf8(texts[1].text), "実行中");
  EXPECT_TRUE(texts[1].atCreation);
}

TEST_F(SimWindowsTest, TheProgressDialogIsCentredAndItsItemPlaced) {
  std::optional<sim::WindowInfo> dialog, item;
  dialogHandler = [&](HWND h, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m != WM_INITDIALOG) return FALSE;
    dialog = sim::Inspect(h);
    item = sim::Inspect(GetDlgItem(h, 1001));
    EndDialog(h, 1);
    return TRUE;
  };
  DialogBoxParamW(nullptr, MAKEINTRESOURCEW(101), nullptr, RecordingDialogProc, 0);
  ASSERT_TRUE(dialog && item);
  EXPECT_EQ(sim::Utf8(dialog->className), "#32770");
  EXPECT_EQ(dialog->style & ~WS_VISIBLE, 0x80C808C0u);
  int width = 281 + 2 * 3, height = 85 + 2 * 3 + 22;
  EXPECT_EQ(dialog->rect.right - dialog->rect.left, width);
  EXPECT_EQ(dialog->rect.bottom - dialog->rect.top, height);
  EXPECT_EQ(dialog->rect.left, (1280 - width) / 2);  // DS_CENTER: in the work area
  EXPECT_EQ(dialog->rect.top, (984 - height) / 2);
  EXPECT_EQ(item->style, 0x50020000u);
  EXPECT_EQ(item->rect.left, dialog->rect.left + 3 + 11);
  EXPECT_EQ(item->rect.top, dialog->rect.top + 3 + 22 + 11);
  EXPECT_EQ(item->rect.right - item->rect.left, 260);  // 173 units
}

TEST_F(SimWindowsTest, MissingTemplatesAndBadOwnersFailLikeWindows) {
  SetLastError(0);
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, RecordingDialogProc, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(CreateDialogParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, RecordingDialogProc, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(101), reinterpret_cast<HWND>(0x777),
                            RecordingDialogProc, 0),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  sim::FailAlways("DialogBoxParamW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(101), nullptr, RecordingDialogProc, 0), -1);
  EXPECT_TRUE(SeenMessages({WM_INITDIALOG}).empty());
}

TEST_F(SimWindowsTest, AModelessDialogLivesUntilDestroyed) {
  sim::UseResourceScript(kTestScript);
  HWND dialog = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, RecordingDialogProc, 9);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(SeenMessages({WM_INITDIALOG}).at(0).lParam, 9);
  // wParam of WM_INITDIALOG is the control that gets the focus: the first tab stop.
  EXPECT_EQ(SeenMessages({WM_INITDIALOG}).at(0).wParam,
            reinterpret_cast<WPARAM>(GetDlgItem(dialog, 201)));
  EXPECT_TRUE(SetDlgItemTextW(dialog, 1001, u"ステータス"));
  WCHAR text[4];
  EXPECT_EQ(GetDlgItemTextW(dialog, 1001, text, 4), 3u);  // cut, always terminated
  EXPECT_EQ(U8(text), "ステー");
  SetLastError(0);
  EXPECT_FALSE(SetDlgItemTextW(dialog, 1002, u"x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
  EXPECT_EQ(GetDlgItemTextW(dialog, 1002, text, 4), 0u);
  EXPECT_EQ(text[0], 0);
  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_EQ(sim::ItemTextHistory(1001), std::vector<std::u16string>{u"ステータス"});
}

// ----- the modal loop -----
TEST_F(SimWindowsTest, EnterEscapeAndTheCloseBoxReachTheDialogProcedureAsCommands) {
  sim::UseResourceScript(kTestScript);
  std::vector<std::pair<WPARAM, LPARAM>> commands;
  HWND go = nullptr;
  dialogHandler = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      go = GetDlgItem(h, 10);
      sim::PressKey(h, VK_RETURN);
      sim::PressKey(h, VK_ESCAPE);
      sim::ClickCloseBox(h);
      return TRUE;
    }
    if (m != WM_COMMAND) return FALSE;  // WM_CLOSE too: the default handling takes it
    commands.emplace_back(w, l);
    if (commands.size() == 3) EndDialog(h, 99);
    return TRUE;  // commands alone do not end a dialog
  };
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, RecordingDialogProc, 0), 99);
  std::vector<std::pair<WPARAM, LPARAM>> expected{
      {MAKEWPARAM(10, BN_CLICKED), reinterpret_cast<LPARAM>(go)},  // the default push button
      {MAKEWPARAM(IDCANCEL, BN_CLICKED), 0},                       // no Cancel button: lParam 0
      {MAKEWPARAM(IDCANCEL, BN_CLICKED), 0}};                      // the close box
  EXPECT_EQ(commands, expected);
  EXPECT_EQ(SeenMessages({WM_CLOSE}).size(), 1u);
  EXPECT_EQ(SeenMessages({WM_SYSCOMMAND}).size(), 1u);
}

TEST_F(SimWindowsTest, ADisabledCancelButtonSwallowsEscapeAndTheCloseBox) {
  sim::UseResourceScript(kTestScript);
  dialogHandler = [&](HWND h, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      sim::PressKey(h, VK_ESCAPE);
      sim::ClickCloseBox(h);
      PostMessageW(h, WM_USER, 0, 0);
      return TRUE;
    }
    if (m == WM_USER) EndDialog(h, 5);
    return FALSE;
  };
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, RecordingDialogProc, 0), 5);
  EXPECT_TRUE(SeenMessages({WM_COMMAND}).empty());
}

TEST_F(SimWindowsTest, TheLoopEndsWhenTheDialogIsDestroyedAndLeavesTheQuitMessage) {
  HWND owner = Create();
  dialogHandler = [&](HWND h, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      EXPECT_FALSE(IsWindowEnabled(owner));  // disabled while the dialog is up
      PostMessageW(h, WM_USER + 1, 0, 0);
    }
    if (m == WM_USER + 1) DestroyWindow(h);
    if (m == WM_NCDESTROY) PostQuitMessage(0);
    return FALSE;
  };
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(101), owner, RecordingDialogProc, 0), 0);
  EXPECT_TRUE(IsWindowEnabled(owner));
  MSG msg;
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);

  // A quit message met inside the loop ends the dialog and is left for the outer loop.
  dialogHandler = [&](HWND, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) PostQuitMessage(4);
    return FALSE;
  };
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(101), owner, RecordingDialogProc, 0), 0);
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.wParam, 4u);
  DestroyWindow(owner);
}

// A thread that shows dialog 200 modally and ends with DialogBoxParamW's result.
DWORD ModalDialogThread(LPVOID) {
  return static_cast<DWORD>(
      DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, RecordingDialogProc, 0));
}

TEST_F(SimWindowsTest, CrossThreadSendsRunOnTheOwnerInsideItsModalLoop) {
  sim::UseResourceScript(kTestScript);
  dialogHandler = [](HWND h, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_USER + 5) return 77;
    if (m == WM_COMMAND && LOWORD(w) == IDOK) EndDialog(h, IDOK);
    return FALSE;
  };
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ModalDialogThread, nullptr, 0, &id);
  ASSERT_NE(thread, nullptr);
  HWND dialog = WaitForWindow(id, u"#32770");
  ASSERT_NE(dialog, nullptr);
  // A dialog procedure's return only says "handled": the result is DWLP_MSGRESULT, 0 here.
  EXPECT_EQ(SendMessageW(dialog, WM_USER + 5, 0, 0), 0);
  EXPECT_EQ(SeenMessages({WM_USER + 5}).at(0).thread, id);  // ran on the dialog's thread

  HWND edit = FindWindowExW(dialog, nullptr, u"Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(SetWindowTextW(edit, u"ZQVirtualPrinterPort"));
  WCHAR text[64];
  EXPECT_EQ(GetWindowTextW(edit, text, 64), 20);  // set by the time the call returned
  auto last = sim::TextHistory().back();
  EXPECT_EQ(last.window, edit);
  EXPECT_EQ(last.thread, GetCurrentThreadId());  // the setter, though the owner applied it
  EXPECT_TRUE(PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0));
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, static_cast<DWORD>(IDOK));
  CloseHandle(thread);
}

TEST_F(SimWindowsTest, ASendToAThreadThatEndsWithoutServingItReturnsZero) {
  static std::atomic<bool> leave{false};
  leave = false;
  auto body = [](LPVOID) -> DWORD {
    CreateWindowExW(0, u"Static", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    while (!leave) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;  // never retrieves a message; its window goes with it
  };
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, body, nullptr, 0, &id);
  HWND w = WaitForWindow(id, u"Static", false);
  ASSERT_NE(w, nullptr);
  auto send = std::async(std::launch::async, [w] { return SendMessageW(w, WM_USER, 0, 0); });
  EXPECT_EQ(send.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
  leave = true;
  EXPECT_EQ(send.get(), 0);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

// ----- the screen and the person -----
DWORD StatusWriter(LPVOID parameter) {
  auto dialog = static_cast<HWND>(parameter);
  SetDlgItemTextW(dialog, 1001, u"step 1");
  SetDlgItemTextW(dialog, 1001, u"step 2");
  SetDlgItemTextW(dialog, 1001, u"step 3");  // the dialog has gone by now
  PostMessageW(dialog, WM_USER + 1, 0, 0);
  return 0;
}

TEST_F(SimWindowsTest, ATextTriggerActsAtTheMomentTheTextIsShown) {
  HANDLE worker = nullptr;
  dialogHandler = [&](HWND h, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) worker = CreateThread(nullptr, 0, StatusWriter, h, 0, nullptr);
    if (m == WM_CLOSE || m == WM_USER + 1) DestroyWindow(h);
    return FALSE;
  };
  sim::WhenTextShown(1001, "step 2", sim::UserAction::kCloseBox);
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(101), nullptr, RecordingDialogProc, 0), 0);
  ASSERT_NE(worker, nullptr);
  EXPECT_EQ(WaitForSingleObject(worker, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(worker);
  EXPECT_EQ(sim::ItemTextHistory(1001), (std::vector<std::u16string>{u"step 1", u"step 2"}));
  auto sets = sim::Calls("SetDlgItemTextW");
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[1].result, "1");
  EXPECT_EQ(sets[2].result, "0");  // closed before the program went on
  EXPECT_EQ(SeenMessages({WM_CLOSE}).size(), 1u);
}

TEST_F(SimWindowsTest, EnterAndEscapeTriggersPressTheDialogsButtons) {
  sim::UseResourceScript(kTestScript);
  std::vector<WPARAM> commands;
  dialogHandler = [&](HWND h, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      SetDlgItemTextW(h, 1001, u"press enter");
      SetDlgItemTextW(h, 1001, u"press escape");
      EndDialog(h, 3);
    }
    if (m == WM_COMMAND) commands.push_back(w);
    return m == WM_COMMAND;
  };
  sim::WhenTextShown(1001, "enter", sim::UserAction::kEnter);
  sim::WhenTextShown(0, "escape", sim::UserAction::kEscape);
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, RecordingDialogProc, 0), 3);
  EXPECT_EQ(commands,
            (std::vector<WPARAM>{MAKEWPARAM(10, BN_CLICKED), MAKEWPARAM(IDCANCEL, BN_CLICKED)}));
}

TEST_F(SimWindowsTest, EnumerationAndSearchFollowCreationOrderAndClasses) {
  DWORD id = GetCurrentThreadId();
  HWND ime = CreateWindowExW(0, u"IME", u"Default IME", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                             nullptr, nullptr);
  HWND dialog = CreateWindowExW(0, u"#32770", u"Add a Local Port", WS_POPUP, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
  HWND label = CreateWindowExW(0, u"Static", u"Name", WS_CHILD, 0, 0, 1, 1, dialog, nullptr,
                               nullptr, nullptr);
  HWND first = CreateWindowExW(0, u"Edit", u"", WS_CHILD, 0, 0, 1, 1, dialog,
                               reinterpret_cast<HMENU>(101), nullptr, nullptr);
  HWND second =
      CreateWindowExW(0, u"Edit", u"b", WS_CHILD, 0, 0, 1, 1, dialog, nullptr, nullptr, nullptr);
  std::vector<HWND> listed;
  auto collect = [](HWND h, LPARAM p) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
  };
  EXPECT_TRUE(EnumThreadWindows(id, collect, reinterpret_cast<LPARAM>(&listed)));
  EXPECT_EQ(listed, (std::vector<HWND>{ime, dialog}));  // top-level only, in creation order
  listed.clear();
  auto firstOnly = [](HWND h, LPARAM p) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return FALSE;
  };
  EXPECT_FALSE(EnumThreadWindows(id, firstOnly, reinterpret_cast<LPARAM>(&listed)));
  EXPECT_EQ(listed, std::vector<HWND>{ime});
  EXPECT_FALSE(EnumThreadWindows(12345, collect, reinterpret_cast<LPARAM>(&listed)));  // none

  WCHAR name[16];
  EXPECT_EQ(GetClassNameW(ime, name, 16), 3);
  EXPECT_EQ(U8(name), "IME");
  EXPECT_EQ(FindWindowExW(dialog, nullptr, u"edit", nullptr), first);
  EXPECT_EQ(FindWindowExW(dialog, first, u"Edit", nullptr), second);
  EXPECT_EQ(FindWindowExW(dialog, second, u"Edit", nullptr), nullptr);
  EXPECT_EQ(FindWindowExW(dialog, nullptr, nullptr, u"B"), second);
  EXPECT_EQ(FindWindowExW(dialog, nullptr, u"Static", nullptr), label);
  EXPECT_EQ(FindWindowExW(nullptr, nullptr, u"#32770", u"add a local port"), dialog);
  EXPECT_EQ(FindWindowExW(ime, nullptr, u"Edit", nullptr), nullptr);
  DestroyWindow(dialog);
  DestroyWindow(ime);
}

// ----- the Local Port monitor's dialog -----
struct PortRequest {
  std::u16string name;
  bool result = false;
};

DWORD PortThread(LPVOID parameter) {
  auto* request = static_cast<PortRequest*>(parameter);
  request->result = sim::RunLocalPortDialog(&request->name);
  return 0;
}

class SimPortDialogTest : public SimWindowsTest {};

// The dialog driven as the installer drives it (AddLocalPortViaMonitor, without a bound).
TEST_F(SimPortDialogTest, TheAutomationFillsInAndConfirmsADialogThatIsThereAtOnce) {
  EXPECT_TRUE(AddLocalPortViaMonitor(u"ZQVirtualPrinterPort", INFINITE));
  auto runs = sim::PortDialogs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(sim::Utf8(runs[0].name), "ZQVirtualPrinterPort");
  EXPECT_TRUE(runs[0].confirmed && runs[0].finished);
  EXPECT_GE(runs[0].enumerations, 1);  // the thread may not have got to its dialog at first
  EXPECT_EQ(runs[0].searches, 1);
  EXPECT_EQ(sim::Calls("SetWindowTextW").at(0).args.at(1), "ZQVirtualPrinterPort");
  auto texts = sim::TextHistory();
  auto caption = std::find_if(texts.begin(), texts.end(), [](const sim::TextRecord& r) {
    return r.text == u"Add a Local Port";
  });
  ASSERT_NE(caption, texts.end());
  EXPECT_EQ(caption->id, 0);
}

TEST_F(SimPortDialogTest, ALateDialogBehindTheImeWindowAppearsForTheNextEnumeration) {
  sim::PortDialogScript script;
  script.appearAfterEnumerations = 3;
  script.imeWindowFirst = true;
  sim::SetPortDialogScript(script);
  EXPECT_TRUE(AddLocalPortViaMonitor(u"ZQVirtualPrinterPort", INFINITE));
  auto runs = sim::PortDialogs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].enumerations, 4);  // three without the dialog, the fourth finds it
  EXPECT_EQ(runs[0].searches, 1);
  EXPECT_TRUE(runs[0].confirmed);
}

TEST_F(SimPortDialogTest, TheFirstLookMissesALateDialogEvenWhenItComesBeforeTheThreadGetsThere) {
  sim::PortDialogScript script;
  script.appearAfterEnumerations = 1;
  sim::SetPortDialogScript(script);
  EXPECT_TRUE(AddLocalPortViaMonitor(u"P", INFINITE));
  EXPECT_EQ(sim::PortDialogs().at(0).enumerations, 2);
  auto looks = sim::Calls("EnumThreadWindows");
  ASSERT_EQ(looks.size(), 2u);
  EXPECT_EQ(looks[0].result, "0");  // nothing there yet
  EXPECT_EQ(looks[1].result, "0");  // the callback stopped at the dialog

  // A thread that ends without a dialog does not hold up the k-th look.
  DWORD id = 0;
  HANDLE thread = CreateThread(
      nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, &id);
  EXPECT_FALSE(EnumThreadWindows(
      id, [](HWND, LPARAM) -> BOOL { return TRUE; }, 0));
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

TEST_F(SimPortDialogTest, TheImeWindowIsReportedFirstAndTheDialogWaitsUntilCancelled) {
  sim::PortDialogScript script;
  script.imeWindowFirst = true;
  sim::SetPortDialogScript(script);
  PortRequest request;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, PortThread, &request, 0, &id);
  HWND dialog = WaitForWindow(id, u"#32770");
  ASSERT_NE(dialog, nullptr);
  // The first window the enumeration reports is the IME window, which has no Edit field.
  HWND first = nullptr;
  EXPECT_FALSE(EnumThreadWindows(
      id,
      [](HWND h, LPARAM p) -> BOOL {
        *reinterpret_cast<HWND*>(p) = h;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&first)));
  WCHAR cls[16] = {};
  GetClassNameW(first, cls, 16);
  EXPECT_EQ(sim::Utf8(cls), "IME");
  EXPECT_EQ(FindWindowExW(first, nullptr, u"Edit", nullptr), nullptr);
  // Nobody fills in the dialog: it ends only when cancelled.
  EXPECT_EQ(WaitForSingleObject(thread, 5), static_cast<DWORD>(WAIT_TIMEOUT));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(thread);
  EXPECT_FALSE(request.result);
  EXPECT_FALSE(sim::PortDialogs().at(0).confirmed);
  EXPECT_EQ(sim::CallCount("SetWindowTextW"), 0u);
}

TEST_F(SimPortDialogTest, ALateEditFieldIsFoundOnTheSearchAfterTheLastMiss) {
  sim::PortDialogScript script;
  script.editAfterSearches = 2;
  sim::SetPortDialogScript(script);
  EXPECT_TRUE(AddLocalPortViaMonitor(u"ZQVirtualPrinterPort", INFINITE));
  auto runs = sim::PortDialogs();
  EXPECT_EQ(runs.at(0).searches, 3);
  auto searches = sim::Calls("FindWindowExW");
  ASSERT_EQ(searches.size(), 3u);
  EXPECT_EQ(searches[1].result, "null");
  EXPECT_NE(searches[2].result, "null");
}

TEST_F(SimPortDialogTest, WithoutAnEditFieldOnlyThePersonEndsTheDialog) {
  sim::PortDialogScript script;
  script.hasEdit = false;
  script.person = sim::PortDialogScript::Person::kCancels;
  script.actAfterPolls = 5;
  sim::SetPortDialogScript(script);
  EXPECT_FALSE(AddLocalPortViaMonitor(u"ZQVirtualPrinterPort", INFINITE));
  EXPECT_EQ(sim::CallCount("SetWindowTextW"), 0u);
  EXPECT_FALSE(sim::PortDialogs().at(0).confirmed);
  // The person pressed Cancel during the fifth poll: the one enumeration, then the fourth search.
  auto journal = sim::Journal();
  std::vector<uint64_t> searches;
  uint64_t cancel = 0;
  for (auto& r : journal) {
    if (r.name == "FindWindowExW") searches.push_back(r.sequence);
    if (r.name == "EndDialog" && r.args.at(1) == "2") cancel = r.sequence;
  }
  ASSERT_GE(searches.size(), 4u);
  EXPECT_GT(cancel, searches[3]);
  if (searches.size() > 4) EXPECT_LT(cancel, searches[4]);
}

TEST_F(SimPortDialogTest, ThePersonCancelsAtOnceOrTypesAndConfirmsByHand) {
  sim::PortDialogScript script;
  script.person = sim::PortDialogScript::Person::kCancels;
  sim::SetPortDialogScript(script);
  PortRequest request;
  PortThread(&request);  // on this thread: nobody automates anything
  EXPECT_FALSE(request.result);

  script.person = sim::PortDialogScript::Person::kConfirms;
  script.typedName = u"LPT9:";
  sim::SetPortDialogScript(script);
  request = PortRequest{};
  PortThread(&request);
  EXPECT_TRUE(request.result);
  EXPECT_EQ(sim::Utf8(request.name), "LPT9:");
  ASSERT_EQ(sim::PortDialogs().size(), 2u);
  EXPECT_EQ(sim::Utf8(sim::PortDialogs()[1].name), "LPT9:");
}

TEST_F(SimPortDialogTest, ACarriageReturnConfirmsAndEscapeCancels) {
  for (bool confirm : {true, false}) {
    PortRequest request;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, PortThread, &request, 0, &id);
    HWND dialog = WaitForWindow(id, u"#32770");
    ASSERT_NE(dialog, nullptr);
    SetWindowTextW(GetDlgItem(dialog, 101), u"PORT1");
    if (confirm) {
      PostMessageW(dialog, WM_CHAR, '\r', 0x1C);
    } else {
      sim::PressKey(dialog, VK_ESCAPE);
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(request.result, confirm);
    EXPECT_EQ(sim::Utf8(request.name), confirm ? "PORT1" : "");
  }
}

}  // namespace
