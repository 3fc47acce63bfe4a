// The "Local Port" monitor's port-name dialog (port_dialog.h): the dialog the spooler's AddPortW
// shows on the calling thread, with its script for tests (late appearance, late Edit field, the
// thread's IME window first, the person's act).
//
// It is a dialog of the system's own, built from its template below with the dialog manager. It
// watches the searches other threads make for windows through the window manager's search hook:
// every EnumThreadWindows for a thread and every FindWindowExW under a window of it is a poll,
// and the polls are what bring in late parts and let the scripted person act.
#include "platform/sim/port_dialog.h"

#include <map>
#include <memory>

#include "platform/sim/dialog_manager.h"
#include "platform/sim/modules.h"
#include "platform/sim/threads.h"

namespace sim {
namespace {

using wm::Lock_t;

// The port dialog's own message for bringing in its Edit field on its thread.
constexpr UINT kPortDialogAddEdit = 0x8000 + 0x2A1;  // WM_APP range
constexpr int kPortEditId = 101;

struct PortRun {
  PortDialogRecord record;
  PortDialogScript script;
  bool shown = false;
  int polls = 0;
  bool acted = false;
  bool editAdded = false;
  bool refusing = false;  // the monitor's refusal box is up
  RECT editBox{};  // where the field goes, in dialog units (x, y, cx, cy)
};

struct PortModel {
  PortDialogScript portScript;
  std::vector<std::shared_ptr<PortRun>> portRuns;
  std::map<DWORD, int> enumerations;  // EnumThreadWindows calls per thread
  std::map<HWND, int> searches;       // FindWindowExW calls per parent
};

PortModel& model() {
  static auto* instance = new PortModel;
  return *instance;
}

const bool registered = (RegisterResetHook("port dialog", [] { model() = PortModel{}; }), true);

// ----- the Local Port monitor's dialog -----
const char kPortDialogScript[] =
    "1 DIALOGEX 0, 0, 210, 60\n"
    "STYLE DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU\n"
    "CAPTION \"Add a Local Port\"\n"
    "FONT 8, \"MS Shell Dlg\", 400, 0, 1\n"
    "BEGIN\n"
    "    LTEXT           \"&Enter a port name:\", -1, 7, 7, 196, 8\n"
    "    EDITTEXT        101, 7, 19, 196, 12, ES_AUTOHSCROLL\n"
    "    DEFPUSHBUTTON   \"OK\", IDOK, 99, 39, 50, 14\n"
    "    PUSHBUTTON      \"Cancel\", IDCANCEL, 153, 39, 50, 14\n"
    "END\n";

// The monitor's box for a name it could not try out, as Wine's monitor shows it.
const char kRefusalBoxScript[] =
    "1 DIALOGEX 0, 0, 160, 52\n"
    "STYLE DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU\n"
    "CAPTION \"Local Port\"\n"
    "FONT 8, \"MS Shell Dlg\", 400, 0, 1\n"
    "BEGIN\n"
    "    LTEXT           \"Access denied.\", 0xFFFF, 7, 7, 146, 16\n"
    "    DEFPUSHBUTTON   \"OK\", IDOK, 55, 31, 50, 14\n"
    "END\n";

INT_PTR RefusalBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(box, LOWORD(wParam));
    return TRUE;
  }
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Shows the refusal box over the port dialog and runs its modal loop on this (the port) thread.
void ShowRefusalBox(PortRun& run, HWND dialog) {
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    run.refusing = true;
    ++run.record.refusals;
  }
  ResourceScript script = ParseResourceScript(kRefusalBoxScript);
  HWND box = wm::CreateFromTemplate(script.dialogs.at(0), ProgramModule(), dialog, RefusalBoxProc, 0);
  if (box) wm::ModalLoop(box);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  run.refusing = false;
}

// The run of the calling thread's port dialog, if one is open. The machine lock is held.
std::shared_ptr<PortRun> PortRunOf(DWORD thread) {
  for (auto& run : model().portRuns)
    if (run->record.thread == thread && !run->record.finished) return run;
  return nullptr;
}

void AddPortEdit(PortRun& run, HWND dialog) {
  HWND edit = wm::CreateInternal(
      wm::kExNoParentNotify, u"Edit", u"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | 0x80,
      DialogUnitsToPixelsX(run.editBox.left), DialogUnitsToPixelsY(run.editBox.top),
      DialogUnitsToPixelsX(run.editBox.right), DialogUnitsToPixelsY(run.editBox.bottom), dialog,
      reinterpret_cast<HMENU>(static_cast<intptr_t>(kPortEditId)), ProgramModule(), nullptr);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  run.record.edit = edit;
  run.editAdded = true;
  if (auto d = wm::Find(dialog)) d->focus = edit;
}

INT_PTR PortDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  std::shared_ptr<PortRun> run;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    run = PortRunOf(GetCurrentThreadId());
  }
  if (!run) return FALSE;
  bool confirm =
      (message == WM_COMMAND && LOWORD(wParam) == IDOK) || (message == WM_CHAR && wParam == '\r');
  if (confirm && run->script.refusesName) {
    // The dialog stays; a confirmation while the box is up has nothing to add.
    if (!run->refusing) ShowRefusalBox(*run, dialog);
    return TRUE;
  }
  if (confirm) {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    auto edit = wm::Find(wm::ChildById(dialog, kPortEditId));
    run->record.name = edit ? edit->text : u"";
    run->record.confirmed = true;
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  if (message == kPortDialogAddEdit) {
    AddPortEdit(*run, dialog);
    return TRUE;
  }
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// The person's act on the port dialog, from whichever thread counted the poll that calls for it.
void PortPersonActs(const PortRun& run) {
  HWND dialog = run.record.dialog;
  if (run.script.person == PortDialogScript::Person::kCancels) {
    wm::ClickDialogButton(dialog, IDCANCEL);
  } else if (run.script.person == PortDialogScript::Person::kConfirms) {
    HWND edit = nullptr;
    {
      std::lock_guard<sim::MachineMutex> lock(Lock());
      edit = wm::ChildById(dialog, kPortEditId);
    }
    if (edit)
      wm::SendInternal(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(run.script.typedName.c_str()));
    wm::ClickDialogButton(dialog, IDOK);
  }
}

// A poll of the port thread's windows: EnumThreadWindows for `thread`, or FindWindowExW under
// `parent`, one of that thread's windows. Brings in what the script lets appear after this many
// polls, and lets the person act.
// `sawDialog`: an enumeration that listed the thread's windows while its port dialog was shown.
void PortPoll(DWORD thread, HWND parent, bool sawDialog) {
  Lock_t lock(Lock());
  std::shared_ptr<PortRun> run = PortRunOf(thread);
  if (!run || !run->shown || (!parent && !sawDialog)) {
    // The k-th look at a thread whose dialog is to appear late returns only once the dialog is
    // there (or the thread ended without one), even when the program looked before the thread
    // got as far as its dialog: so the next look is the first to see it.
    const PortDialogScript& script = run ? run->script : model().portScript;
    if (parent || script.appearAfterEnumerations == 0 ||
        model().enumerations[thread] != script.appearAfterEnumerations)
      return;
    size_t runsBefore = 0;
    for (auto& r : model().portRuns) runsBefore += r->record.thread == thread && r != run;
    internal::NotifyAll();
    for (;;) {
      std::shared_ptr<PortRun> latest;
      size_t runs = 0;
      for (auto& r : model().portRuns)
        if (r->record.thread == thread) latest = r, ++runs;
      bool newRun = latest && runs > runsBefore;
      if (newRun && (latest->shown || latest->record.finished)) return;
      if (!newRun && !internal::IsRunningThread(thread)) return;
      internal::Wait(lock);
    }
  }
  HWND dialog = run->record.dialog;
  if (parent && parent == dialog) {
    run->record.searches = model().searches[parent];
    if (run->script.hasEdit && !run->editAdded &&
        run->record.searches >= run->script.editAfterSearches) {
      lock.unlock();
      wm::SendInternal(dialog, kPortDialogAddEdit, 0, 0);
      lock.lock();
    }
  }
  ++run->polls;
  if (!run->acted && run->script.person != PortDialogScript::Person::kWaits &&
      run->polls >= run->script.actAfterPolls) {
    run->acted = true;
    PortRun copy = *run;
    lock.unlock();
    PortPersonActs(copy);
  }
}

// A search begins: it counts, and an enumeration notes whether the thread's dialog was shown.
bool SearchBegins(DWORD thread, HWND parent) {
  if (parent) {
    ++model().searches[parent];
    return false;
  }
  ++model().enumerations[thread];
  auto run = PortRunOf(thread);
  return run && run->shown;
}

const bool hooked = (wm::SetWindowSearchHook(wm::WindowSearchHook{SearchBegins, PortPoll}), true);

}  // namespace

void SetPortDialogScript(const PortDialogScript& script) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().portScript = script;
}

std::vector<PortDialogRecord> PortDialogs() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::vector<PortDialogRecord> out;
  for (auto& run : model().portRuns) {
    PortDialogRecord r = run->record;
    if (!r.finished) r.enumerations = model().enumerations[r.thread];
    if (!r.finished && r.dialog) r.searches = model().searches[r.dialog];
    out.push_back(r);
  }
  return out;
}

bool RunLocalPortDialog(std::u16string* portName) {
  DWORD me = GetCurrentThreadId();
  auto run = std::make_shared<PortRun>();
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    run->script = model().portScript;
    run->record.thread = me;
    model().portRuns.push_back(run);
  }
  HWND ime = nullptr;
  if (run->script.imeWindowFirst) {
    ime = wm::CreateInternal(0, u"IME", u"Default IME", WS_POPUP | WS_DISABLED, 0, 0, 1, 1, nullptr,
                             nullptr, ProgramModule(), nullptr);
  }
  auto finish = [&](bool confirmed) {
    if (ime) wm::DestroyInternal(ime);
    std::lock_guard<sim::MachineMutex> lock(Lock());
    if (confirmed && portName) *portName = run->record.name;
    // Enumerations count from the thread's last port dialog on.
    run->record.enumerations = model().enumerations[me];
    model().enumerations.erase(me);
    if (run->record.dialog) run->record.searches = model().searches[run->record.dialog];
    run->record.finished = true;
    internal::NotifyAll();
    return confirmed;
  };
  {
    // The dialog is late: wait, without spinning, until the program has looked often enough.
    Lock_t lock(Lock());
    while (model().enumerations[me] < run->script.appearAfterEnumerations) {
      if (internal::CurrentThreadTerminated()) {
        run->record.finished = true;
        lock.unlock();
        internal::Park();
      }
      internal::Wait(lock);
    }
  }
  ResourceScript script = ParseResourceScript(kPortDialogScript);
  DialogTemplate t = script.dialogs.at(0);
  for (auto it = t.items.begin(); it != t.items.end(); ++it) {
    if (it->id != kPortEditId) continue;
    run->editBox = RECT{it->x, it->y, it->cx, it->cy};
    if (!run->script.hasEdit || run->script.editAfterSearches > 0) t.items.erase(it);
    break;
  }
  HWND dialog = wm::CreateFromTemplate(t, ProgramModule(), nullptr, PortDialogProc, 0, false);
  if (!dialog) return finish(false);
  {
    // Listed and shown at once, so that a search either sees the dialog and counts as a poll,
    // or does neither.
    std::lock_guard<sim::MachineMutex> lock(Lock());
    if (auto w = wm::Find(dialog)) w->listed = true;
    run->record.dialog = dialog;
    run->record.edit = wm::ChildById(dialog, kPortEditId);
    run->editAdded = run->record.edit != nullptr;
    run->shown = true;
    internal::NotifyAll();
  }
  if (run->script.person != PortDialogScript::Person::kWaits && run->script.actAfterPolls == 0) {
    run->acted = true;
    PortPersonActs(*run);
  }
  INT_PTR result = wm::ModalLoop(dialog);
  return finish(result == IDOK);
}

}  // namespace sim
