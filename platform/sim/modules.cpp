// Simulated modules: LoadLibraryW, GetProcAddress and FreeLibrary over the machine's one library,
// "comctl32.dll", whose exports are functions of this file that answer as the test staged; the
// program's own module with its icons (GetModuleHandleW, LoadIconW), kernel32 (whose exports are
// machine.cpp's), the system's cursors.
#include "platform/sim/modules.h"

#include <map>

#include "platform/sim/dialog_templates.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/sim.h"

namespace sim {
namespace {

constexpr char16_t kCommonControls[] = u"COMCTL32.DLL";
constexpr DWORD kPlatformNt = 2;         // DLLVER_PLATFORM_NT
constexpr DWORD kVersionInfo2Size = 32;  // sizeof(DLLVERSIONINFO2)

struct LoadedLibrary {
  HMODULE handle = nullptr;
  int references = 0;
  size_t loads = 0;
};

struct ModuleModel {
  CommonControlsLibrary commonControls;
  std::map<std::u16string, LoadedLibrary> libraries;  // by upper-case file name
};

ModuleModel& model() {
  static ModuleModel* instance = new ModuleModel;
  return *instance;
}

// The core forgets every handle at a reset; the references go with them.
const bool registered = (RegisterResetHook("modules", [] { model() = ModuleModel{}; }), true);
// The libraries a process loaded go with it.
const bool processEndRegistered =
    (internal::RegisterProcessEndHook("modules",
                                      [](int, const std::vector<DWORD>&) {
                                        std::lock_guard<MachineMutex> lock(Lock());
                                        model().libraries.clear();
                                      }),
     true);

// The loader's view of a name: the file name only, upper case, ".DLL" when no extension is
// given (a trailing dot means "no extension" and is dropped).
std::u16string ModuleKey(const std::u16string& name) {
  size_t slash = name.find_last_of(u"\\/");
  std::u16string file = slash == std::u16string::npos ? name : name.substr(slash + 1);
  if (!file.empty() && file.back() == u'.')
    file.pop_back();
  else if (file.find(u'.') == std::u16string::npos)
    file += u".dll";
  return Upper(file);
}

// The library a handle stands for, or null.
LoadedLibrary* FromHandle(HMODULE module) {
  if (!module || !LookupHandle(reinterpret_cast<HANDLE>(module), "module")) return nullptr;
  for (auto& entry : model().libraries)
    if (entry.second.handle == module) return &entry.second;
  return nullptr;
}

HRESULT ExportDllGetVersion(DLLVERSIONINFO* info) {
  Call call("DllGetVersion", {info ? std::to_string(info->cbSize) : std::string("null")});
  auto result = [&](HRESULT hr) {
    call.SetResult(Hex(static_cast<uint32_t>(hr)));
    return hr;
  };
  if (call.Faulted()) return result(E_FAIL);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  const CommonControlsLibrary& library = model().commonControls;
  if (!info || (info->cbSize != sizeof(DLLVERSIONINFO) && info->cbSize != kVersionInfo2Size))
    return result(E_INVALIDARG);
  if (FAILED(library.versionResult)) {
    SetLastError(library.versionError);
    return result(library.versionResult);
  }
  info->dwMajorVersion = library.major;
  info->dwMinorVersion = library.minor;
  info->dwBuildNumber = library.build;
  info->dwPlatformID = kPlatformNt;
  return result(library.versionResult);
}

BOOL ExportInitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  Call call("InitCommonControlsEx", {init ? Hex(init->dwICC) : std::string("null")});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  return call.Ret<BOOL>(init && init->dwSize == sizeof(INITCOMMONCONTROLSEX));
}

// Exports are handed out as FARPROC and called through their real type, as from a DLL. The detour
// through void (*)() is the compilers' accepted spelling of "any function pointer".
template <class F>
FARPROC AsFarProc(F function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

BOOL ExportInitializeFlatSB(HWND window) {
  Call call("InitializeFlatSB", {Ptr(window)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  return call.Ret<BOOL>(TRUE);
}

}  // namespace

void SetCommonControls(const CommonControlsLibrary& library) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().commonControls = library;
}

size_t ModuleLoads(const std::u16string& name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto it = model().libraries.find(ModuleKey(name));
  return it == model().libraries.end() ? 0 : it->second.loads;
}

int ModuleReferences(const std::u16string& name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto it = model().libraries.find(ModuleKey(name));
  return it == model().libraries.end() ? 0 : it->second.references;
}

HMODULE LoadedModule(const std::u16string& name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto it = model().libraries.find(ModuleKey(name));
  return it == model().libraries.end() ? nullptr : it->second.handle;
}

}  // namespace sim

using sim::Call;
using sim::Lock;

HMODULE LoadLibraryW(LPCWSTR file) {
  Call call("LoadLibraryW", {sim::Utf8(file)});
  if (call.Faulted()) return call.Ret<HMODULE>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!file || !*file) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<HMODULE>(nullptr);
  }
  std::u16string key = sim::ModuleKey(file);
  if (key != sim::kCommonControls || !sim::model().commonControls.installed) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return call.Ret<HMODULE>(nullptr);
  }
  sim::LoadedLibrary& library = sim::model().libraries[key];
  if (library.references == 0)
    library.handle = reinterpret_cast<HMODULE>(sim::NewHandle("module", std::make_shared<int>(0)));
  ++library.references;
  ++library.loads;
  return call.Ret(library.handle);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  bool byOrdinal = IS_INTRESOURCE(name);
  Call call("GetProcAddress",
            {sim::Ptr(module), byOrdinal ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name))
                                         : std::string(name)});
  if (call.Faulted()) return nullptr;
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (module == sim::Kernel32Module()) {
    FARPROC export_ = byOrdinal ? nullptr : sim::Kernel32Export(name);
    if (!export_) SetLastError(ERROR_PROC_NOT_FOUND);
    call.SetResult(export_ ? std::string(name) : std::string("null"));
    return export_;
  }
  if (!sim::FromHandle(module)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    call.SetResult("null");
    return nullptr;
  }
  // Exports are looked up by their exact (case-sensitive) name; none is exported by ordinal here.
  const sim::CommonControlsLibrary& library = sim::model().commonControls;
  std::string wanted = byOrdinal ? std::string() : std::string(name);
  FARPROC found = nullptr;
  if (wanted == "DllGetVersion" && library.hasDllGetVersion)
    found = sim::AsFarProc(&sim::ExportDllGetVersion);
  else if (wanted == "InitCommonControlsEx" && library.hasInitCommonControlsEx)
    found = sim::AsFarProc(&sim::ExportInitCommonControlsEx);
  else if (wanted == "InitializeFlatSB" && library.hasInitializeFlatSB)
    found = sim::AsFarProc(&sim::ExportInitializeFlatSB);
  if (!found) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    call.SetResult("null");
    return nullptr;
  }
  call.SetResult(wanted);
  return found;
}

BOOL FreeLibrary(HMODULE module) {
  Call call("FreeLibrary", {sim::Ptr(module)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  sim::LoadedLibrary* library = sim::FromHandle(module);
  if (!library) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return call.Ret<BOOL>(FALSE);
  }
  if (--library->references == 0) {
    sim::ReleaseHandle(reinterpret_cast<HANDLE>(module), "module");
    library->handle = nullptr;
  }
  return call.Ret<BOOL>(TRUE);
}

// ----- the program's module, icons, cursors, common controls -----
// The program is the one module with resources; kernel32 is loaded in every process; the
// system's icons and cursors are shared objects that are never released.
HMODULE GetModuleHandleW(LPCWSTR name) {
  Call call("GetModuleHandleW", {sim::Utf8(name)});
  if (call.Faulted()) return call.Ret<HMODULE>(nullptr);
  if (!name || sim::EqualNoCase(name, u"ZQInst.exe") || sim::EqualNoCase(name, u"ZQInst"))
    return call.Ret(sim::ProgramModule());
  if (sim::EqualNoCase(name, u"kernel32.dll") || sim::EqualNoCase(name, u"kernel32"))
    return call.Ret(sim::Kernel32Module());
  SetLastError(ERROR_MOD_NOT_FOUND);
  return call.Ret<HMODULE>(nullptr);
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  Call call("LoadIconW", {sim::Ptr(instance), sim::ResourceName(name)});
  if (call.Faulted()) return call.Ret<HICON>(nullptr);
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (!instance) {
    if (IS_INTRESOURCE(name) && id >= 32512 && id <= 32518)  // IDI_APPLICATION..IDI_SHIELD
      return call.Ret(reinterpret_cast<HICON>(0x00010000 + id));
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return call.Ret<HICON>(nullptr);
  }
  if (instance == sim::ProgramModule() && IS_INTRESOURCE(name)) {
    for (int icon : sim::ProgramResources().icons)
      if (static_cast<uintptr_t>(icon) == id)
        return call.Ret(reinterpret_cast<HICON>(0x00020000 + id));
  }
  SetLastError(instance == sim::ProgramModule() ? ERROR_RESOURCE_NAME_NOT_FOUND
                                        : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return call.Ret<HICON>(nullptr);
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  Call call("LoadCursorW", {sim::Ptr(instance), sim::ResourceName(name)});
  if (call.Faulted()) return call.Ret<HCURSOR>(nullptr);
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (!instance && IS_INTRESOURCE(name) && id >= 32512 && id <= 32651)  // the IDC_ cursors
    return call.Ret(reinterpret_cast<HCURSOR>(0x00030000 + id));
  SetLastError(instance ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
  return call.Ret<HCURSOR>(nullptr);
}

// Windows documents no failure (the common controls register themselves anyway); a faulted call
// only shows in the journal, as the progress dialog uses no common control.
void InitCommonControls() {
  Call call("InitCommonControls");
  call.Faulted();
}
