#include "platform/windows/system_libraries.h"

namespace zq_windows {

SystemFunctions System;

namespace {

// Zero-initialised: this runs before the runtime, which would run constructors.
SystemLibraryFailure Failure;
bool Loaded;

// SetDefaultDllDirectories, looked up rather than imported: Windows before 8 has it only with
// update KB2533623, and a program importing it would not start without.
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

bool Restricted;

// The process's searches for DLLs go to System32 only, its own folder and the current folder are
// left out. Without SetDefaultDllDirectories the current folder is left out at least, and the
// libraries below are loaded by their full System32 path.
void RestrictSearch() {
  HMODULE kernel = GetModuleHandleW(TEXT("kernel32.dll"));
  SetDefaultDllDirectoriesFunction restrict = nullptr;
  if (kernel)
    restrict = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  Restricted = restrict && restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!Restricted) SetDllDirectoryW(TEXT(""));
}

// Loads a library from System32 only. Names bound by the program's manifest (the common
// controls' side-by-side version) are still redirected by its activation context.
HMODULE LoadFromSystem(const WCHAR* name) {
  if (Restricted) return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  WCHAR path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  UINT at = length;
  if (path[at - 1] != TEXT('\\')) path[at++] = TEXT('\\');
  for (const WCHAR* c = name; *c; ++c) {
    if (at + 1 >= MAX_PATH) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return nullptr;
    }
    path[at++] = *c;
  }
  path[at] = 0;
  // Its own imports are then looked for beside it, in System32, first.
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool Fail(const WCHAR* library, DWORD error) {
  Failure.library = library;
  Failure.error = error ? error : ERROR_MOD_NOT_FOUND;
  return false;
}

template <typename Function>
bool Find(HMODULE module, const char* name, const WCHAR* failureName, Function* slot) {
  *slot = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (*slot) return true;
  DWORD error = GetLastError();
  return Fail(failureName, error ? error : ERROR_PROC_NOT_FOUND);
}

// "library!function", the name a missing function is reported under.
#define ZQ_FUNCTION_NAME(library, name) TEXT(library) TEXT("!") TEXT(#name)

bool LoadWinspool() {
  HMODULE module = LoadFromSystem(TEXT("winspool.drv"));
  if (!module) return Fail(TEXT("winspool.drv"), GetLastError());
#define ZQ_FIND(name) \
  if (!Find(module, #name, ZQ_FUNCTION_NAME("winspool.drv", name), &System.name)) return false;
  ZQ_WINSPOOL_FUNCTIONS(ZQ_FIND)
#undef ZQ_FIND
  return true;
}

bool LoadCommonControls() {
  HMODULE module = LoadFromSystem(TEXT("comctl32.dll"));
  if (!module) return Fail(TEXT("comctl32.dll"), GetLastError());
#define ZQ_FIND(name) \
  if (!Find(module, #name, ZQ_FUNCTION_NAME("comctl32.dll", name), &System.name)) return false;
  ZQ_COMCTL32_FUNCTIONS(ZQ_FIND)
#undef ZQ_FIND
  return true;
}

bool LoadBcrypt() {
  HMODULE module = LoadFromSystem(TEXT("bcrypt.dll"));
  if (!module) return Fail(TEXT("bcrypt.dll"), GetLastError());
#define ZQ_FIND(name) \
  if (!Find(module, #name, ZQ_FUNCTION_NAME("bcrypt.dll", name), &System.name)) return false;
  ZQ_BCRYPT_FUNCTIONS(ZQ_FIND)
#undef ZQ_FIND
  return true;
}

// The stand-ins for a Windows without combase.dll: the runtime cannot be initialised, and what
// was never made needs no release.
HRESULT WINAPI NoRoInitialize(RO_INIT_TYPE) { return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND); }
void WINAPI NoRoUninitialize() {}
HRESULT WINAPI NoRoGetActivationFactory(HSTRING, REFIID, void** factory) {
  if (factory) *factory = nullptr;
  return REGDB_E_CLASSNOTREG;
}
HRESULT WINAPI NoWindowsCreateString(LPCWSTR, UINT32, HSTRING* string) {
  if (string) *string = nullptr;
  return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}
HRESULT WINAPI NoWindowsDeleteString(HSTRING) { return S_OK; }

// Optional: a library or function that is missing leaves its stand-in in the slot.
void LoadCombase() {
  System.RoGetActivationFactory = NoRoGetActivationFactory;
  System.RoInitialize = NoRoInitialize;
  System.RoUninitialize = NoRoUninitialize;
  System.WindowsCreateString = NoWindowsCreateString;
  System.WindowsDeleteString = NoWindowsDeleteString;
  HMODULE module = LoadFromSystem(TEXT("combase.dll"));
  if (!module) return;
  SystemFunctions found = {};
#define ZQ_FIND(name)                                  \
  found.name = reinterpret_cast<decltype(found.name)>( \
      reinterpret_cast<void*>(GetProcAddress(module, #name)));
  ZQ_COMBASE_FUNCTIONS(ZQ_FIND)
#undef ZQ_FIND
  // All of them or none: a runtime half found is not asked.
#define ZQ_ALL(name) found.name &&
  if (!(ZQ_COMBASE_FUNCTIONS(ZQ_ALL) true)) return;
#undef ZQ_ALL
#define ZQ_TAKE(name) System.name = found.name;
  ZQ_COMBASE_FUNCTIONS(ZQ_TAKE)
#undef ZQ_TAKE
}

}  // namespace

void LoadSystemLibraries() {
  RestrictSearch();
  Loaded = LoadWinspool() && LoadCommonControls() && LoadBcrypt();
  // A half-filled table is never used: the run ends at its start. The Windows Runtime's slots are
  // filled either way (found, or their stand-ins): the run's first record asks it even then.
  if (!Loaded) System = SystemFunctions{};
  LoadCombase();
}

bool SystemLibrariesLoaded(SystemLibraryFailure* failure) {
  if (failure) *failure = Failure;
  return Loaded;
}

}  // namespace zq_windows
