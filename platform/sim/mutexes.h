// Named mutexes of the simulated machine: what tests stage and inspect.
//
// CreateMutexW, ReleaseMutex and WaitForSingleObject on a "mutex" handle follow Win32: a mutex is
// owned by one thread at a time, recursively; a thread that ends while it owns one abandons it,
// and the next wait takes it over with WAIT_ABANDONED. Names are kept as given, except that the
// session namespace prefix "Local\" names the same object as no prefix; "Global\" is the machine's
// namespace (one session is modelled); "alias\name" after the process opened a private namespace
// with that alias names an object in that namespace (namespaces.h). A mutex keeps the DACL its
// creator gave (security.h); a process whose token the DACL does not allow cannot open it
// (ERROR_ACCESS_DENIED).
//
// Other processes are not modelled as threads: a test lets "another installer" hold a named mutex
// and says when, in virtual time, it lets go (releases it, or ends without releasing it). A wait
// for a mutex held that way passes no real time: the virtual clock moves to the moment of the
// release, or by the whole timeout when the release comes later.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/windows.h"

namespace sim {

struct ForeignHolder {
  // Virtual milliseconds from now until the other process lets go; nullopt: it never does.
  std::optional<uint64_t> releaseAfter;
  // True: it ends without releasing (the mutex is abandoned); false: it releases it.
  bool abandons = false;
};
// Another process owns the named mutex from now on (creating it when it does not exist).
void HoldMutexElsewhere(const std::u16string& name, const ForeignHolder& holder);

struct MutexInfo {
  bool exists = false;
  bool owned = false;          // by a thread of this process or by another process
  bool ownedElsewhere = false;  // by another process
  DWORD ownerThread = 0;       // the owning thread of this process (0: none)
  int recursion = 0;
  bool abandoned = false;      // abandoned and not yet taken over
  size_t handles = 0;          // open handles of this process
  // The SIDs the mutex's DACL allows (texts), as its creator gave them; empty: the default DACL.
  std::vector<std::string> allowedSids;
};
MutexInfo InspectMutex(const std::u16string& name);

namespace internal {
// Whether the handle is a mutex handle, and the wait for it (WaitForSingleObject's share).
bool IsMutexHandle(HANDLE handle);
DWORD WaitForMutex(HANDLE handle, DWORD milliseconds);
// A killed process's threads let go of nothing: what they own is abandoned (the lock is held).
void AbandonMutexesOf(int process);
}  // namespace internal

}  // namespace sim
