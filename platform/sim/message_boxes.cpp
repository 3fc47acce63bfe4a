// MessageBoxW answered by the scripted user (platform/sim/user.h).
//
// As on Windows: a missing caption reads "Error", a missing text is an empty text, an unknown
// button set fails with ERROR_INVALID_MSGBOX_STYLE. The box is modal to the thread that shows it;
// here the user's answer is immediate, so nothing blocks and no message loop runs.
#include <algorithm>

#include "platform/sim/sim.h"
#include "platform/sim/user.h"

namespace sim {
namespace {

constexpr DWORD kErrorInvalidMsgboxStyle = 1438;
constexpr int kTryAgain = 10;
constexpr int kContinue = 11;

struct UserModel {
  std::vector<MessageBoxRecord> boxes;
  std::vector<MessageBoxRule> rules;
  DWORD failError = 0;
};

UserModel& model() {
  static auto* instance = new UserModel;
  return *instance;
}

const bool registered = (RegisterResetHook("user", [] { model() = UserModel{}; }), true);

// The buttons of each MB_ type value, left to right; empty for values Windows rejects.
std::vector<int> Buttons(UINT flags) {
  switch (flags & 0xF) {
    case 0:
      return {IDOK};
    case 1:
      return {IDOK, IDCANCEL};
    case 2:
      return {IDABORT, IDRETRY, IDIGNORE};
    case 3:
      return {IDYES, IDNO, IDCANCEL};
    case 4:
      return {IDYES, IDNO};
    case 5:
      return {IDRETRY, IDCANCEL};
    case 6:
      return {IDCANCEL, kTryAgain, kContinue};
    default:
      return {};
  }
}

bool Matches(const MessageBoxRule& rule, const MessageBoxRecord& box) {
  if (rule.times == 0) return false;
  if (!rule.captionContains.empty() &&
      Utf8(box.caption).find(rule.captionContains) == std::string::npos)
    return false;
  if (!rule.textContains.empty() && Utf8(box.text).find(rule.textContains) == std::string::npos)
    return false;
  return true;
}

}  // namespace

std::vector<MessageBoxRecord> MessageBoxes() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return model().boxes;
}

void AnswerMessageBox(MessageBoxRule rule) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().rules.push_back(std::move(rule));
}

void AnswerMessageBox(const std::string& captionContains, const std::string& textContains,
                      int answer) {
  MessageBoxRule rule;
  rule.captionContains = captionContains;
  rule.textContains = textContains;
  rule.answer = answer;
  AnswerMessageBox(std::move(rule));
}

void AnswerNextMessageBox(int answer) {
  MessageBoxRule rule;
  rule.answer = answer;
  rule.times = 1;
  AnswerMessageBox(std::move(rule));
}

void FailMessageBoxes(DWORD error) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().failError = error;
}

int DefaultButton(UINT flags) {
  std::vector<int> buttons = Buttons(flags);
  if (buttons.empty()) return 0;
  size_t index = (flags >> 8) & 0xF;  // MB_DEFBUTTON1..4
  // A default beyond the last button falls back to the first, as on Windows.
  return index < buttons.size() ? buttons[index] : buttons[0];
}

}  // namespace sim

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  sim::Call call("MessageBoxW",
                 {sim::Ptr(owner), sim::Utf8(caption), sim::Utf8(text), sim::Hex(type)});
  if (call.Faulted()) return 0;
  sim::MessageBoxRecord box;
  box.owner = owner;
  box.caption = caption ? caption : u"Error";
  box.text = text ? text : u"";
  box.flags = type;
  box.thread = GetCurrentThreadId();
  std::function<void(const sim::MessageBoxRecord&)> onShow;
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    auto& m = sim::model();
    if (m.failError) {
      SetLastError(m.failError);
      call.Ret<int64_t>(0);
      return 0;
    }
    if (sim::Buttons(type).empty()) {
      SetLastError(sim::kErrorInvalidMsgboxStyle);
      call.Ret<int64_t>(0);
      return 0;
    }
    box.answer = sim::DefaultButton(type);
    for (auto& rule : m.rules) {
      if (!sim::Matches(rule, box)) continue;
      if (rule.times > 0) --rule.times;
      if (rule.answer) box.answer = rule.answer;
      onShow = rule.onShow;
      break;
    }
    m.boxes.push_back(box);
  }
  // The callback may call back into the machine, other threads included: no lock held here.
  if (onShow) onShow(box);
  call.Ret<int64_t>(box.answer);
  return box.answer;
}
