// The screen of the simulated machine as tests see it (ui.h): its windows, the texts they showed,
// and the person at it, whose input is posted to the windows' threads as real input would be.
#include "platform/sim/dialog_manager.h"
#include "platform/sim/ui.h"

namespace sim {

std::optional<WindowInfo> Inspect(HWND window) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto w = wm::Find(window);
  if (!w) return std::nullopt;
  WindowInfo info;
  info.hwnd = w->hwnd;
  info.className = w->className;
  info.text = w->text;
  info.id = w->id;
  info.style = w->style;
  info.exStyle = w->exStyle;
  info.rect = wm::ScreenRect(*w);
  info.parent = w->parent;
  info.owner = w->owner;
  info.enabled = w->enabled;
  info.visible = w->visible;
  info.thread = w->thread;
  return info;
}

std::vector<WindowInfo> Windows() {
  std::vector<HWND> all;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    for (auto& entry : wm::model().windows) all.push_back(entry.second->hwnd);
  }
  std::vector<WindowInfo> out;
  for (HWND h : all)
    if (auto info = Inspect(h)) out.push_back(*info);
  return out;
}

size_t LiveWindows() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return wm::model().windows.size();
}

void SetWorkArea(const RECT& area) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  wm::model().workArea = area;
}

std::vector<TextRecord> TextHistory() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return wm::model().texts;
}

std::vector<std::u16string> ItemTextHistory(int itemId) {
  std::vector<std::u16string> out;
  for (const auto& r : TextHistory())
    if (r.id == itemId && r.window != r.dialog && !r.atCreation) out.push_back(r.text);
  return out;
}

std::u16string DialogItemText(HWND dialog, int itemId) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto item = wm::Find(wm::ChildById(dialog, itemId));
  return item ? item->text : std::u16string();
}

void ClickCloseBox(HWND window) { wm::PostInternal(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

void PressKey(HWND window, UINT virtualKey) {
  HWND target = window;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    auto w = wm::Find(window);
    if (w && w->dialog && wm::Find(w->focus)) target = w->focus;
  }
  LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  wm::PostInternal(target, WM_KEYDOWN, virtualKey, scan | 1);
  wm::PostInternal(target, WM_KEYUP, virtualKey, scan | 1 | (LPARAM{3} << 30));
}

void ClickButton(HWND dialog, int buttonId) {
  HWND button = nullptr;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    button = wm::ChildById(dialog, buttonId);
  }
  if (button) wm::PostInternal(button, BM_CLICK, 0, 0);
}

void WhenTextShown(int itemId, const std::string& contains,
                   std::function<void(const TextRecord&)> action, int times) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  wm::model().triggers.push_back(wm::Trigger{itemId, contains, std::move(action), times});
}

void WhenTextShown(int itemId, const std::string& contains, UserAction action, int times) {
  WhenTextShown(
      itemId, contains,
      // Runs on the window's thread inside the text change: the input is handled right there, as
      // the dialog manager would handle it, so that nothing the program does next comes first.
      [action](const TextRecord& r) {
        if (action == UserAction::kCloseBox) wm::Deliver(r.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (action == UserAction::kEnter)
          wm::ClickDialogButton(r.dialog, wm::DefaultButtonId(r.dialog));
        if (action == UserAction::kEscape) wm::ClickDialogButton(r.dialog, IDCANCEL);
      },
      times);
}

}  // namespace sim
