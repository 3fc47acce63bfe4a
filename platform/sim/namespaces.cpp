// Private namespaces of the simulated machine. See namespaces.h.
#include "platform/sim/namespaces.h"

#include <algorithm>
#include <map>
#include <memory>

#include "platform/sim/security.h"
#include "platform/sim/session.h"
#include "platform/sim/sim.h"

namespace sim {
namespace {

struct Boundary {
  std::u16string name;
  std::vector<std::string> sids;
};

struct Namespace {
  std::u16string key;    // the namespace's machine-wide name
  std::u16string alias;  // the prefix this handle's owner names objects with
};

// Guarded by the machine lock.
struct Namespaces {
  bool supported = true;
  std::map<std::u16string, int> open;  // key -> handles open on it
};

Namespaces& model() {
  static auto* instance = new Namespaces;
  return *instance;
}

const bool registered = (RegisterResetHook("namespaces", [] { model() = Namespaces{}; }), true);

std::u16string Key(const std::u16string& boundary, std::vector<std::string> sids) {
  std::sort(sids.begin(), sids.end());
  std::u16string key = u"\\Namespace{" + boundary;
  for (auto& sid : sids) key += u"|" + Utf16(sid);
  return key + u"}";
}

// Open namespace handles of this process: alias -> key, for name resolution.
std::map<std::u16string, std::u16string>& aliases() {
  static auto* instance = new std::map<std::u16string, std::u16string>;
  return *instance;
}
const bool registeredAliases = (RegisterResetHook("namespace_aliases", [] { aliases().clear(); }), true);

HANDLE OpenHandleOn(const std::u16string& key, const std::u16string& alias) {
  auto space = std::make_shared<Namespace>();
  space->key = key;
  space->alias = alias;
  ++model().open[key];
  aliases()[Upper(alias)] = key;
  return NewHandle("namespace", space);
}

}  // namespace

void SetPrivateNamespaces(bool supported) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().supported = supported;
}

std::u16string PrivateObjectName(const std::u16string& boundary,
                                 const std::vector<std::string>& sids,
                                 const std::u16string& object) {
  return Key(boundary, sids) + u"\\" + object;
}

size_t OpenNamespaces() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  size_t count = 0;
  for (auto& entry : model().open) count += static_cast<size_t>(entry.second);
  return count;
}

namespace internal {
std::u16string ResolveObjectName(const std::u16string& name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  size_t slash = name.find(u'\\');
  if (slash == std::u16string::npos) return name;
  auto found = aliases().find(Upper(name.substr(0, slash)));
  if (found == aliases().end()) return name;
  return found->second + name.substr(slash);
}
}  // namespace internal
}  // namespace sim

using sim::Call;
using sim::Lock;

HANDLE CreateBoundaryDescriptorW(LPCWSTR name, ULONG flags) {
  Call call("CreateBoundaryDescriptorW", {sim::Utf8(name), std::to_string(flags)});
  if (call.Faulted()) return call.Ret<HANDLE>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sim::model().supported) {
    SetLastError(ERROR_SUCCESS);  // Wine 8: NULL, last error 0
    return call.Ret<HANDLE>(nullptr);
  }
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<HANDLE>(nullptr);
  }
  auto boundary = std::make_shared<sim::Boundary>();
  boundary->name = name;
  return call.Ret(sim::NewHandle("boundary", boundary));
}

BOOL AddSIDToBoundaryDescriptor(HANDLE* boundary, PSID sid) {
  Call call("AddSIDToBoundaryDescriptor", {sim::Ptr(boundary ? *boundary : nullptr),
                                           sim::internal::SidText(sid)});
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    if (!sim::model().supported) std::abort();  // Wine's unimplemented stub ends the process
  }
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto b = boundary ? sim::Lookup<sim::Boundary>(*boundary, "boundary") : nullptr;
  if (!b || !sid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  b->sids.push_back(sim::internal::SidText(sid));
  return call.Ret<BOOL>(TRUE);
}

VOID DeleteBoundaryDescriptor(HANDLE boundary) {
  Call call("DeleteBoundaryDescriptor", {sim::Ptr(boundary)});
  sim::ReleaseHandle(boundary, "boundary");
}

HANDLE CreatePrivateNamespaceW(LPSECURITY_ATTRIBUTES, LPVOID boundary, LPCWSTR alias) {
  Call call("CreatePrivateNamespaceW", {sim::Ptr(boundary), sim::Utf8(alias)});
  if (call.Faulted()) return call.Ret<HANDLE>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto b = sim::Lookup<sim::Boundary>(static_cast<HANDLE>(boundary), "boundary");
  if (!b || !alias || !*alias) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<HANDLE>(nullptr);
  }
  // The creator's token must hold every SID of the boundary: the Administrators SID is held by
  // an elevated token only.
  for (auto& sid : b->sids) {
    bool held = sid == sim::kAdministratorsSid ? sim::ProcessElevated() : sid == "S-1-5-32-545";
    if (!held) {
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret<HANDLE>(nullptr);
    }
  }
  std::u16string key = sim::Key(b->name, b->sids);
  auto existing = sim::model().open.find(key);
  if (existing != sim::model().open.end() && existing->second > 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return call.Ret<HANDLE>(nullptr);
  }
  SetLastError(ERROR_SUCCESS);
  return call.Ret(sim::OpenHandleOn(key, alias));
}

HANDLE OpenPrivateNamespaceW(LPVOID boundary, LPCWSTR alias) {
  Call call("OpenPrivateNamespaceW", {sim::Ptr(boundary), sim::Utf8(alias)});
  if (call.Faulted()) return call.Ret<HANDLE>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto b = sim::Lookup<sim::Boundary>(static_cast<HANDLE>(boundary), "boundary");
  if (!b || !alias || !*alias) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<HANDLE>(nullptr);
  }
  std::u16string key = sim::Key(b->name, b->sids);
  auto existing = sim::model().open.find(key);
  if (existing == sim::model().open.end() || existing->second <= 0) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return call.Ret<HANDLE>(nullptr);
  }
  SetLastError(ERROR_SUCCESS);
  return call.Ret(sim::OpenHandleOn(key, alias));
}

BOOLEAN ClosePrivateNamespace(HANDLE handle, ULONG flags) {
  Call call("ClosePrivateNamespace", {sim::Ptr(handle), std::to_string(flags)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto space = sim::Lookup<sim::Namespace>(handle, "namespace");
  if (!space || !sim::ReleaseHandle(handle, "namespace")) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (--sim::model().open[space->key] <= 0) {
    sim::model().open.erase(space->key);
    for (auto it = sim::aliases().begin(); it != sim::aliases().end();)
      it = it->second == space->key ? sim::aliases().erase(it) : std::next(it);
  }
  return call.Ret<BOOL>(TRUE);
}
