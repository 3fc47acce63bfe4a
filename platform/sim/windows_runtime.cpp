// The simulated Windows Runtime activation and the protected print class (windows_runtime.h).
#include "platform/sim/windows_runtime.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim.h"

namespace sim {
namespace {

struct RuntimeModel {
  ProtectedPrintClass protectedPrint = ProtectedPrintClass::Absent;
  HRESULT failure = E_FAIL;
  std::vector<HANDLE> references;  // one handle per reference to the factory
};

RuntimeModel& model() {
  static RuntimeModel* instance = new RuntimeModel;
  return *instance;
}

const bool registered =
    (RegisterResetHook("windows runtime", [] { model() = RuntimeModel{}; }), true);

// The thread's apartment: how often it initialised the runtime, and as which kind.
thread_local int initialisations = 0;
thread_local RO_INIT_TYPE apartment = RO_INIT_MULTITHREADED;

constexpr char kStringKind[] = "HSTRING";
constexpr char kReferenceKind[] = "activation factory reference";

bool SameIid(REFIID a, REFIID b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The factory of the protected print class: IInspectable's six slots, then the property.
struct Statics;
struct StaticsTable {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(Statics*, REFIID, void**);
  ULONG(STDMETHODCALLTYPE* AddRef)(Statics*);
  ULONG(STDMETHODCALLTYPE* Release)(Statics*);
  HRESULT(STDMETHODCALLTYPE* GetIids)(Statics*, ULONG*, IID**);
  HRESULT(STDMETHODCALLTYPE* GetRuntimeClassName)(Statics*, HSTRING*);
  HRESULT(STDMETHODCALLTYPE* GetTrustLevel)(Statics*, int*);
  HRESULT(STDMETHODCALLTYPE* IsProtectedPrintEnabled)(Statics*, boolean*);
};
struct Statics {
  const StaticsTable* table;
};

// One object for the process; each reference is a handle of the machine, released by Release.
ULONG STDMETHODCALLTYPE AddRef(Statics*) {
  Call call("IWindowsProtectedPrintInfoStatics::AddRef");
  std::lock_guard<MachineMutex> lock(Lock());
  model().references.push_back(NewHandle(kReferenceKind, std::make_shared<int>(0)));
  return call.Ret<DWORD>(static_cast<DWORD>(model().references.size()));
}

ULONG STDMETHODCALLTYPE Release(Statics*) {
  Call call("IWindowsProtectedPrintInfoStatics::Release");
  std::lock_guard<MachineMutex> lock(Lock());
  if (!model().references.empty()) {
    ReleaseHandle(model().references.back(), kReferenceKind);
    model().references.pop_back();
  }
  return call.Ret<DWORD>(static_cast<DWORD>(model().references.size()));
}

HRESULT STDMETHODCALLTYPE QueryInterface(Statics* self, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!SameIid(iid, kProtectedPrintInfoStaticsIid)) return E_NOINTERFACE;
  AddRef(self);
  *object = self;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE NotImplemented(Statics*, ULONG*, IID**) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE NoClassName(Statics*, HSTRING*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE BaseTrust(Statics*, int* level) {
  if (level) *level = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IsProtectedPrintEnabled(Statics*, boolean* enabled) {
  Call call("IWindowsProtectedPrintInfoStatics::get_IsProtectedPrintEnabled");
  if (call.Faulted()) return call.Ret<int64_t>(HRESULT_FROM_WIN32(GetLastError()));
  if (!enabled) return call.Ret<int64_t>(E_POINTER);
  std::lock_guard<MachineMutex> lock(Lock());
  if (model().protectedPrint == ProtectedPrintClass::Failing)
    return call.Ret<int64_t>(model().failure);
  *enabled = model().protectedPrint == ProtectedPrintClass::On;
  call.SetResult("0 " + std::to_string(*enabled));
  return S_OK;
}

const StaticsTable kStaticsTable = {QueryInterface,         AddRef,      Release,
                                    NotImplemented,         NoClassName, BaseTrust,
                                    IsProtectedPrintEnabled};
Statics statics = {&kStaticsTable};

}  // namespace

void SetProtectedPrintClass(ProtectedPrintClass state, HRESULT failure) {
  std::lock_guard<MachineMutex> lock(Lock());
  model().protectedPrint = state;
  model().failure = failure;
}

}  // namespace sim

using namespace sim;

HRESULT RoInitialize(RO_INIT_TYPE type) {
  Call call("RoInitialize", {std::to_string(type)});
  if (call.Faulted()) return call.Ret<int64_t>(HRESULT_FROM_WIN32(GetLastError()));
  if (initialisations > 0 && apartment != type) return call.Ret<int64_t>(RPC_E_CHANGED_MODE);
  apartment = type;
  return call.Ret<int64_t>(initialisations++ == 0 ? S_OK : S_FALSE);
}

void RoUninitialize() {
  Call call("RoUninitialize");
  if (initialisations > 0) --initialisations;
}

HRESULT WindowsCreateString(LPCWSTR text, UINT32 length, HSTRING* string) {
  Call call("WindowsCreateString", {Utf8(std::u16string(text ? text : u"", text ? length : 0))});
  if (call.Faulted()) return call.Ret<int64_t>(E_OUTOFMEMORY);
  if (!string || (!text && length > 0)) return call.Ret<int64_t>(E_INVALIDARG);
  *string = nullptr;
  if (length == 0) return call.Ret<int64_t>(S_OK);
  auto contents = std::make_shared<std::u16string>(text, length);
  *string = reinterpret_cast<HSTRING>(NewHandle(kStringKind, contents));
  return call.Ret<int64_t>(S_OK);
}

HRESULT WindowsDeleteString(HSTRING string) {
  Call call("WindowsDeleteString", {Ptr(string)});
  if (string) ReleaseHandle(reinterpret_cast<HANDLE>(string), kStringKind);
  return call.Ret<int64_t>(S_OK);
}

HRESULT RoGetActivationFactory(HSTRING activatableClassId, REFIID iid, void** factory) {
  auto name = Lookup<std::u16string>(reinterpret_cast<HANDLE>(activatableClassId), kStringKind);
  Call call("RoGetActivationFactory", {name ? Utf8(*name) : std::string()});
  if (factory) *factory = nullptr;
  if (call.Faulted()) return call.Ret<int64_t>(HRESULT_FROM_WIN32(GetLastError()));
  if (!factory || !name) return call.Ret<int64_t>(E_INVALIDARG);
  if (initialisations == 0) return call.Ret<int64_t>(CO_E_NOTINITIALIZED);
  std::lock_guard<MachineMutex> lock(Lock());
  if (*name != kProtectedPrintInfoClass || model().protectedPrint == ProtectedPrintClass::Absent)
    return call.Ret<int64_t>(REGDB_E_CLASSNOTREG);
  HRESULT result = statics.table->QueryInterface(&statics, iid, factory);
  return call.Ret<int64_t>(result);
}
