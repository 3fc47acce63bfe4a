// Simulated registry: two trees of keys with typed values; key handles carry the access they were
// opened with, and every value access is checked against it as Windows does.
#include "platform/sim/registry.h"

#include <cstring>
#include <map>
#include <memory>

#include "platform/sim/sim.h"

namespace sim {
namespace {

struct Key {
  std::u16string name;
  bool denied = false;
  std::map<std::u16string, std::shared_ptr<Key>> children;  // keyed by upper-case name
  std::map<std::u16string, std::pair<std::u16string, RegistryValue>> values;  // upper -> (name, v)
};

struct RegistryModel {
  std::shared_ptr<Key> machine = std::make_shared<Key>();
  std::shared_ptr<Key> user = std::make_shared<Key>();
};

RegistryModel& model() {
  static RegistryModel* instance = new RegistryModel;
  return *instance;
}

const bool registered = (RegisterResetHook("registry", [] { model() = RegistryModel{}; }), true);

struct KeyObject {
  std::shared_ptr<Key> key;
  REGSAM access = 0;
};

// Generic and combined rights as the registry maps them.
REGSAM MapAccess(REGSAM access) {
  REGSAM mapped = access & 0x3F;
  if (access & GENERIC_READ) mapped |= KEY_READ & 0x3F;
  if (access & GENERIC_WRITE) mapped |= KEY_WRITE & 0x3F;
  if (access & GENERIC_EXECUTE) mapped |= KEY_READ & 0x3F;
  if (access & GENERIC_ALL) mapped |= KEY_ALL_ACCESS & 0x3F;
  return mapped;
}

std::vector<std::u16string> Split(const std::u16string& path) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : path) {
    if (c == u'\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::shared_ptr<Key> Root(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return model().machine;
  if (root == HKEY_CURRENT_USER) return model().user;
  return nullptr;
}

// The key behind a handle or a predefined root, with the rights it carries.
std::shared_ptr<Key> Resolve(HKEY handle, REGSAM* access) {
  if (auto root = Root(handle)) {
    *access = KEY_ALL_ACCESS & 0x3F;
    return root;
  }
  auto object = Lookup<KeyObject>(handle, "key");
  if (!object) return nullptr;
  *access = object->access;
  return object->key;
}

// Walks (and with `create`, makes) the path below a key. Sets *created when a key was made.
LSTATUS Walk(std::shared_ptr<Key> key, const std::u16string& path, bool create,
             std::shared_ptr<Key>* result, bool* created) {
  for (auto& part : Split(path)) {
    if (key->denied) return ERROR_ACCESS_DENIED;
    auto it = key->children.find(Upper(part));
    if (it == key->children.end()) {
      if (!create) return ERROR_FILE_NOT_FOUND;
      auto child = std::make_shared<Key>();
      child->name = part;
      it = key->children.emplace(Upper(part), child).first;
      if (created) *created = true;
    }
    key = it->second;
  }
  if (key->denied) return ERROR_ACCESS_DENIED;
  *result = key;
  return ERROR_SUCCESS;
}

std::shared_ptr<Key> Staged(HKEY root, const std::u16string& path) {
  std::shared_ptr<Key> key;
  auto base = Root(root);
  if (!base) return nullptr;
  // Staging ignores the deny knob on the way.
  for (auto& part : Split(path)) {
    auto& child = base->children[Upper(part)];
    if (!child) {
      child = std::make_shared<Key>();
      child->name = part;
    }
    base = child;
  }
  return base;
}

std::shared_ptr<Key> Existing(HKEY root, const std::u16string& path) {
  auto key = Root(root);
  for (auto& part : Split(path)) {
    if (!key) return nullptr;
    auto it = key->children.find(Upper(part));
    key = it == key->children.end() ? nullptr : it->second;
  }
  return key;
}

}  // namespace

void SetRegistryValue(HKEY root, const std::u16string& path, const std::u16string& name,
                      const RegistryValue& value) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (auto key = Staged(root, path)) key->values[Upper(name)] = {name, value};
}

void SetRegistryText(HKEY root, const std::u16string& path, const std::u16string& name,
                     const std::u16string& text) {
  RegistryValue v;
  v.type = REG_SZ;
  v.bytes.resize((text.size() + 1) * 2);
  std::memcpy(v.bytes.data(), text.c_str(), v.bytes.size());
  SetRegistryValue(root, path, name, v);
}

void SetRegistryNumber(HKEY root, const std::u16string& path, const std::u16string& name,
                       DWORD number) {
  RegistryValue v;
  v.type = REG_DWORD;
  v.bytes.resize(4);
  std::memcpy(v.bytes.data(), &number, 4);
  SetRegistryValue(root, path, name, v);
}

void CreateRegistryKey(HKEY root, const std::u16string& path) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  Staged(root, path);
}

bool RegistryKeyExists(HKEY root, const std::u16string& path) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return Existing(root, path) != nullptr;
}

std::optional<RegistryValue> GetRegistryValue(HKEY root, const std::u16string& path,
                                              const std::u16string& name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto key = Existing(root, path);
  if (!key) return std::nullopt;
  auto it = key->values.find(Upper(name));
  if (it == key->values.end()) return std::nullopt;
  return it->second.second;
}

bool DeleteRegistryKey(HKEY root, const std::u16string& path) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto parts = Split(path);
  if (parts.empty()) return false;  // a hive itself is never deleted
  std::u16string parentPath;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parentPath += parts[i] + u"\\";
  auto parent = Existing(root, parentPath);
  return parent && parent->children.erase(Upper(parts.back())) > 0;
}

void DenyRegistryKey(HKEY root, const std::u16string& path) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (auto key = Staged(root, path)) key->denied = true;
}

}  // namespace sim

using sim::Call;
using sim::Lock;

namespace {

std::string RootName(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return "HKLM";
  if (key == HKEY_CURRENT_USER) return "HKCU";
  return sim::Ptr(key);
}

// Registry functions report through their result and leave the thread's last error alone.
LSTATUS OpenOrCreate(Call& call, HKEY parent, LPCWSTR subKey, REGSAM access, PHKEY result,
                     bool create, LPDWORD disposition) {
  if (!result) return call.Ret<DWORD>(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  REGSAM parentAccess = 0;
  auto base = sim::Resolve(parent, &parentAccess);
  if (!base) return call.Ret<DWORD>(ERROR_INVALID_HANDLE);
  std::shared_ptr<sim::Key> key;
  bool created = false;
  LSTATUS status = sim::Walk(base, subKey ? subKey : u"", false, &key, nullptr);
  if (status == ERROR_FILE_NOT_FOUND && create) {
    if (!(parentAccess & KEY_CREATE_SUB_KEY)) return call.Ret<DWORD>(ERROR_ACCESS_DENIED);
    status = sim::Walk(base, subKey, true, &key, &created);
  }
  if (status != ERROR_SUCCESS) return call.Ret<DWORD>(static_cast<DWORD>(status));
  auto object = std::make_shared<sim::KeyObject>();
  object->key = key;
  object->access = sim::MapAccess(access);
  *result = static_cast<HKEY>(sim::NewHandle("key", object));
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  call.SetResult("0 " + sim::Ptr(*result) + (created ? " created" : " opened"));
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR className, DWORD options,
                        REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                        LPDWORD disposition) {
  (void)reserved, (void)className, (void)options, (void)security;
  Call call("RegCreateKeyExW", {RootName(key), sim::Utf8(subKey), sim::Hex(access)});
  if (call.Faulted()) return call.Ret<DWORD>(GetLastError());
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!subKey) return call.Ret<DWORD>(ERROR_INVALID_PARAMETER);
  return OpenOrCreate(call, key, subKey, access, result, true, disposition);
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  (void)options;
  Call call("RegOpenKeyExW", {RootName(key), sim::Utf8(subKey), sim::Hex(access)});
  if (call.Faulted()) return call.Ret<DWORD>(GetLastError());
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return OpenOrCreate(call, key, subKey, access, result, false, nullptr);
}

namespace sim {
namespace {
bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }
}  // namespace
}  // namespace sim

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataBytes) {
  (void)reserved;
  Call call("RegQueryValueExW", {sim::Ptr(key), sim::Utf8(valueName), sim::Ptr(data),
                                 dataBytes ? std::to_string(*dataBytes) : std::string("null")});
  if (call.Faulted()) return call.Ret<DWORD>(GetLastError());
  std::lock_guard<sim::MachineMutex> lock(Lock());
  REGSAM access = 0;
  auto k = sim::Resolve(key, &access);
  if (!k) return call.Ret<DWORD>(ERROR_INVALID_HANDLE);
  if (!(access & KEY_QUERY_VALUE)) return call.Ret<DWORD>(ERROR_ACCESS_DENIED);
  if (data && !dataBytes) return call.Ret<DWORD>(ERROR_INVALID_PARAMETER);
  auto it = k->values.find(sim::Upper(valueName ? valueName : u""));
  if (it == k->values.end()) return call.Ret<DWORD>(ERROR_FILE_NOT_FOUND);
  const sim::RegistryValue& v = it->second.second;
  DWORD size = static_cast<DWORD>(v.bytes.size());
  if (type) *type = v.type;
  if (data) {
    if (*dataBytes < size) {
      *dataBytes = size;
      return call.Ret<DWORD>(ERROR_MORE_DATA);
    }
    if (size) std::memcpy(data, v.bytes.data(), size);
    // A text stored without its terminator gets one after the data when the buffer has room for
    // it; the size reported stays the stored one (as NT does).
    if (sim::IsText(v.type) && size >= sizeof(WCHAR) && size + sizeof(WCHAR) <= *dataBytes &&
        (data[size - 2] || data[size - 1])) {
      data[size] = 0;
      data[size + 1] = 0;
    }
  }
  if (dataBytes) *dataBytes = size;
  return call.Ret<DWORD>(ERROR_SUCCESS);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataBytes) {
  (void)reserved;
  Call call("RegSetValueExW",
            {sim::Ptr(key), sim::Utf8(valueName), std::to_string(type), std::to_string(dataBytes)});
  if (call.Faulted()) return call.Ret<DWORD>(GetLastError());
  std::lock_guard<sim::MachineMutex> lock(Lock());
  REGSAM access = 0;
  auto k = sim::Resolve(key, &access);
  if (!k) return call.Ret<DWORD>(ERROR_INVALID_HANDLE);
  if (!(access & KEY_SET_VALUE)) return call.Ret<DWORD>(ERROR_ACCESS_DENIED);
  if (!data && dataBytes) return call.Ret<DWORD>(ERROR_INVALID_PARAMETER);
  std::u16string name = valueName ? valueName : u"";
  sim::RegistryValue v;
  v.type = type;
  // A text whose size leaves out the terminator that follows it in the caller's buffer is stored
  // with it (as NT does, reading the character after the data).
  if (sim::IsText(type) && dataBytes >= sizeof(WCHAR) && dataBytes % sizeof(WCHAR) == 0) {
    const BYTE* last = data + dataBytes - sizeof(WCHAR);
    if ((last[0] || last[1]) && !last[2] && !last[3]) dataBytes += sizeof(WCHAR);
  }
  if (dataBytes) v.bytes.assign(data, data + dataBytes);
  k->values[sim::Upper(name)] = {name, v};
  return call.Ret<DWORD>(ERROR_SUCCESS);
}

LSTATUS RegCloseKey(HKEY key) {
  Call call("RegCloseKey", {sim::Ptr(key)});
  if (call.Faulted()) return call.Ret<DWORD>(GetLastError());
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return call.Ret<DWORD>(ERROR_SUCCESS);
  if (!sim::ReleaseHandle(key, "key")) return call.Ret<DWORD>(ERROR_INVALID_HANDLE);
  return call.Ret<DWORD>(ERROR_SUCCESS);
}
