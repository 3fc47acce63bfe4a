// Mutexes of the simulated machine: CreateMutexW, ReleaseMutex, the wait for a mutex, and mutexes
// held by other processes in virtual time. See mutexes.h for what is modelled.
#include "platform/sim/mutexes.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "platform/sim/namespaces.h"
#include "platform/sim/security.h"
#include "platform/sim/session.h"
#include "platform/sim/process.h"
#include "platform/sim/sim.h"
#include "platform/sim/threads.h"

namespace sim {
namespace {

// Guarded by the machine lock.
struct MutexObject {
  std::u16string name;  // canonical; empty for an unnamed mutex
  DWORD owner = 0;
  bool ownerStartedHere = false;  // the owner is a thread the simulated Windows started
  int ownerProcess = 0;           // the owner's process (process.h)
  int recursion = 0;
  bool abandoned = false;
  bool foreign = false;  // owned by another process
  std::optional<uint64_t> foreignReleaseAt;
  bool foreignAbandons = false;
  std::vector<std::string> allowedSids;  // empty: the default DACL
};

struct Mutexes {
  std::map<std::u16string, std::weak_ptr<MutexObject>> named;
  // Mutexes other processes hold: their handles keep the objects alive.
  std::vector<std::shared_ptr<MutexObject>> heldElsewhere;
};

Mutexes& mutexes() {
  static Mutexes* instance = new Mutexes;
  return *instance;
}

const bool registered = (RegisterResetHook("mutexes", [] { mutexes() = Mutexes{}; }), true);

constexpr char16_t kLocalPrefix[] = u"Local\\";
constexpr char16_t kGlobalPrefix[] = u"Global\\";

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The object's name in the machine's namespace: "Local\X" and "X" are one object in a session.
std::u16string CanonicalName(const std::u16string& name) {
  if (StartsWith(name, kLocalPrefix)) return name.substr(std::char_traits<char16_t>::length(kLocalPrefix));
  return internal::ResolveObjectName(name);
}

// True when the name has a backslash beyond its namespace prefix (a path nobody created).
bool HasPath(const std::u16string& canonical) {
  std::u16string rest = canonical;
  if (StartsWith(rest, u"\\Namespace{")) {  // a private namespace's object
    size_t end = rest.find(u"}\\");
    rest = end == std::u16string::npos ? rest : rest.substr(end + 2);
  }
  if (StartsWith(rest, kGlobalPrefix)) rest = rest.substr(std::char_traits<char16_t>::length(kGlobalPrefix));
  return rest.find(u'\\') != std::u16string::npos;
}

std::shared_ptr<MutexObject> FindNamed(const std::u16string& canonical) {
  auto it = mutexes().named.find(canonical);
  if (it == mutexes().named.end()) return nullptr;
  auto object = it->second.lock();
  if (!object) mutexes().named.erase(it);
  return object;
}

// Brings the object up to date: another process that let go by now, an owner of this process
// that ended while it owned the mutex.
void Settle(const std::shared_ptr<MutexObject>& m) {
  if (m->foreign && m->foreignReleaseAt && Now() >= *m->foreignReleaseAt) {
    m->foreign = false;
    m->abandoned = m->foreignAbandons;
    auto& held = mutexes().heldElsewhere;
    held.erase(std::remove(held.begin(), held.end(), m), held.end());
  }
  if (m->owner != 0 && m->ownerStartedHere && !internal::IsRunningThread(m->owner)) {
    m->owner = 0;
    m->recursion = 0;
    m->abandoned = true;
  }
}

}  // namespace

void HoldMutexElsewhere(const std::u16string& name, const ForeignHolder& holder) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::u16string canonical = CanonicalName(name);
  auto m = FindNamed(canonical);
  if (!m) {
    m = std::make_shared<MutexObject>();
    m->name = canonical;
    mutexes().named[canonical] = m;
  }
  m->foreign = true;
  m->foreignAbandons = holder.abandons;
  m->foreignReleaseAt.reset();
  if (holder.releaseAfter) m->foreignReleaseAt = Now() + *holder.releaseAfter;
  auto& held = mutexes().heldElsewhere;
  if (std::find(held.begin(), held.end(), m) == held.end()) held.push_back(m);
}

MutexInfo InspectMutex(const std::u16string& name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  MutexInfo info;
  auto m = FindNamed(CanonicalName(name));
  if (!m) return info;
  Settle(m);
  auto& held = mutexes().heldElsewhere;
  bool keptElsewhere = std::find(held.begin(), held.end(), m) != held.end();
  info.exists = true;
  info.ownedElsewhere = m->foreign;
  info.owned = m->foreign || m->owner != 0;
  info.ownerThread = m->owner;
  info.recursion = m->recursion;
  info.abandoned = m->abandoned;
  info.allowedSids = m->allowedSids;
  // Every open handle holds one reference; so do this function and another process's hold.
  info.handles = static_cast<size_t>(m.use_count()) - 1 - (keptElsewhere ? 1 : 0);
  return info;
}

namespace internal {

bool IsMutexHandle(HANDLE handle) { return Lookup<MutexObject>(handle, "mutex") != nullptr; }

DWORD WaitForMutex(HANDLE handle, DWORD milliseconds) {
  auto m = Lookup<MutexObject>(handle, "mutex");
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const DWORD self = GetCurrentThreadId();
  const bool selfStartedHere = IsRunningThread(self);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock<sim::MachineMutex> lock(Lock());
  const uint64_t virtualStart = Now();
  for (;;) {
    Settle(m);
    if (!m->foreign && (m->owner == 0 || m->owner == self)) {
      bool wasAbandoned = m->abandoned;
      m->abandoned = false;
      if (m->owner == self) {
        ++m->recursion;
      } else {
        m->owner = self;
        m->ownerStartedHere = selfStartedHere;
        m->ownerProcess = CurrentProcess();
        m->recursion = 1;
      }
      return wasAbandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }
    if (CurrentThreadTerminated()) {
      lock.unlock();
      Park();
    }
    if (m->foreign) {
      // Another process lets go at a moment of virtual time: no real time passes.
      bool inTime = m->foreignReleaseAt &&
                    (milliseconds == INFINITE || *m->foreignReleaseAt <= virtualStart + milliseconds);
      if (inTime) {
        if (*m->foreignReleaseAt > Now()) AdvanceClock(*m->foreignReleaseAt - Now());
        continue;
      }
      if (milliseconds != INFINITE) {
        if (virtualStart + milliseconds > Now()) AdvanceClock(virtualStart + milliseconds - Now());
        return WAIT_TIMEOUT;
      }
      Wait(lock);  // held for good elsewhere: a wait without end, as on Windows
      continue;
    }
    // Owned by another thread of this process: a real wait.
    if (milliseconds == INFINITE) {
      Wait(lock);
    } else if (!WaitUntil(lock, deadline)) {
      Settle(m);
      if (!m->foreign && m->owner == 0) continue;
      return WAIT_TIMEOUT;
    }
  }
}

void AbandonMutexesOf(int process) {
  for (auto& entry : mutexes().named) {
    auto m = entry.second.lock();
    if (!m || m->owner == 0 || m->ownerProcess != process) continue;
    m->owner = 0;
    m->recursion = 0;
    m->abandoned = true;
  }
}

}  // namespace internal
}  // namespace sim

using sim::Call;
using sim::Lock;

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name) {
  Call call("CreateMutexW", {std::to_string(initialOwner), sim::Utf8(name)});
  if (call.Faulted()) return call.Ret<HANDLE>(nullptr);
  sim::RegisterKernelHandleKind("mutex");
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::shared_ptr<sim::MutexObject> m;
  std::u16string canonical = name ? sim::CanonicalName(name) : std::u16string();
  if (!canonical.empty()) {
    if (sim::HasPath(canonical)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return call.Ret<HANDLE>(nullptr);
    }
    m = sim::FindNamed(canonical);
    if (m && !m->allowedSids.empty() && !sim::ProcessElevated() &&
        std::find(m->allowedSids.begin(), m->allowedSids.end(), "S-1-5-32-545") ==
            m->allowedSids.end()) {
      // Its DACL does not let this token in: only an elevated token holds Administrators.
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret<HANDLE>(nullptr);
    }
    if (m) {
      // The existing object; the request for initial ownership does not apply to it.
      HANDLE handle = sim::NewHandle("mutex", m);
      SetLastError(ERROR_ALREADY_EXISTS);
      return call.Ret(handle);
    }
  }
  m = std::make_shared<sim::MutexObject>();
  m->name = canonical;
  if (security) m->allowedSids = sim::internal::AllowedSids(security->lpSecurityDescriptor);
  if (initialOwner) {
    m->owner = GetCurrentThreadId();
    m->ownerStartedHere = sim::internal::IsRunningThread(m->owner);
    m->ownerProcess = sim::internal::CurrentProcess();
    m->recursion = 1;
  }
  if (!canonical.empty()) sim::mutexes().named[canonical] = m;
  HANDLE handle = sim::NewHandle("mutex", m);
  SetLastError(ERROR_SUCCESS);
  return call.Ret(handle);
}

BOOL ReleaseMutex(HANDLE mutex) {
  Call call("ReleaseMutex", {sim::Ptr(mutex)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto m = sim::Lookup<sim::MutexObject>(mutex, "mutex");
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  sim::Settle(m);
  if (m->foreign || m->owner != GetCurrentThreadId()) {
    SetLastError(ERROR_NOT_OWNER);
    return call.Ret<BOOL>(FALSE);
  }
  if (--m->recursion == 0) m->owner = 0;
  sim::internal::NotifyAll();
  return call.Ret<BOOL>(TRUE);
}
