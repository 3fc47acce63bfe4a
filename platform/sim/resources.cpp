// Simulated resources of raw data in the program's own module: FindResourceW, LoadResource,
// SizeofResource and LockResource as Windows gives them for an RCDATA resource named by a string
// (names compared without regard to case, as the resource compiler stores them in upper case).
// The block is the module's own memory: it lives as long as the program and is never freed.
// Modelled: the program's module (or null for it) and RT_RCDATA; another module or type, or a
// name not carried, fails with ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
#include <map>

#include "platform/sim/modules.h"
#include "platform/sim/resources.h"
#include "platform/sim/sim.h"

namespace sim {
namespace {

struct Resources {
  // Upper-cased name to bytes; the strings stay where they are until the reset.
  std::map<std::u16string, std::string> data;
};

Resources& model() {
  static Resources* instance = new Resources;
  return *instance;
}

const bool registered = (RegisterResetHook("resources", [] { model() = Resources{}; }), true);

}  // namespace

void SetProgramData(const std::u16string& name, const std::string& bytes) {
  std::lock_guard<MachineMutex> lock(Lock());
  model().data[Upper(name)] = bytes;
}

void RemoveProgramData(const std::u16string& name) {
  std::lock_guard<MachineMutex> lock(Lock());
  model().data.erase(Upper(name));
}

}  // namespace sim

using sim::Call;

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  Call call("FindResourceW", {IS_INTRESOURCE(name) ? std::to_string(LOWORD(name)) : sim::Utf8(name)});
  if (call.Faulted()) return call.Ret<HRSRC>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  if ((module && module != sim::ProgramModule()) || type != RT_RCDATA) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return call.Ret<HRSRC>(nullptr);
  }
  auto& data = sim::model().data;
  auto found = IS_INTRESOURCE(name) ? data.end() : data.find(sim::Upper(name));
  if (found == data.end()) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return call.Ret<HRSRC>(nullptr);
  }
  return call.Ret(reinterpret_cast<HRSRC>(&found->second));
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  Call call("LoadResource", {sim::Ptr(resource)});
  if (call.Faulted()) return call.Ret<HGLOBAL>(nullptr);
  return call.Ret<HGLOBAL>(resource);
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
  Call call("SizeofResource", {sim::Ptr(resource)});
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<DWORD>(0);
  }
  return call.Ret(static_cast<DWORD>(reinterpret_cast<std::string*>(resource)->size()));
}

LPVOID LockResource(HGLOBAL data) {
  Call call("LockResource", {sim::Ptr(data)});
  if (!data) return call.Ret<LPVOID>(nullptr);
  return call.Ret<LPVOID>(&(*reinterpret_cast<std::string*>(data))[0]);
}
