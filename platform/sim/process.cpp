// The program's process on the simulated machine and its end by a kill; see process.h.
#include "platform/sim/process.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "platform/sim/mutexes.h"
#include "platform/sim/threads.h"

namespace sim {
namespace {

// Guarded by the machine lock.
struct Processes {
  int current = 1;
  int killed = 0;  // the killed process (0: none)
  std::string killName;
  int killNth = 0;
  int killMatches = 0;
  CallRecord killPoint;
  std::map<int, std::set<DWORD>> running;  // threads still running, per process
  std::map<int, std::set<DWORD>> members;  // every thread each process had
  std::vector<std::pair<std::string, std::function<void(int, const std::vector<DWORD>&)>>> hooks;
};

Processes& processes() {
  static Processes* instance = new Processes;
  return *instance;
}

thread_local int processOf = 0;

// Calls whose effect builds up while they run: a kill inside them leaves part of it.
bool HasPartialEffect(const std::string& name) { return name == "CopyFileW"; }

const bool registered = (RegisterResetHook("process",
                                           [] {
                                             Processes& p = processes();
                                             // Threads of an earlier test's process stay apart:
                                             // process numbers keep growing.
                                             p.current = std::max(p.current, p.killed) + 1;
                                             p.killed = 0;
                                             p.killName.clear();
                                             p.killNth = p.killMatches = 0;
                                             p.running.clear();
                                             p.members.clear();
                                           }),
                         true);

void Join(int process) {
  processOf = process;
  if (process == 0) return;
  std::lock_guard<MachineMutex> lock(Lock());
  processes().running[process].insert(GetCurrentThreadId());
  processes().members[process].insert(GetCurrentThreadId());
}

void Leave() {
  if (processOf == 0) return;
  std::lock_guard<MachineMutex> lock(Lock());
  processes().running[processOf].erase(GetCurrentThreadId());
  internal::NotifyAll();
}

}  // namespace

void EnterProcess() {
  int process;
  {
    std::lock_guard<MachineMutex> lock(Lock());
    process = processes().current;
  }
  Join(process);
}

void LeaveProcess() { Leave(); }

void KillProcessAt(const std::string& name, int nth) {
  std::lock_guard<MachineMutex> lock(Lock());
  processes().killName = name;
  processes().killNth = nth;
  processes().killMatches = 0;
}

bool ProcessKilled() {
  std::lock_guard<MachineMutex> lock(Lock());
  return processes().killed != 0 && processes().killed == processes().current;
}

CallRecord KillPoint() {
  std::lock_guard<MachineMutex> lock(Lock());
  return processes().killPoint;
}

bool WaitForProcessEnd(DWORD timeoutMilliseconds) {
  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  std::unique_lock<MachineMutex> lock(Lock());
  for (;;) {
    if (processes().running[processes().current].empty()) return true;
    if (!internal::WaitUntil(lock, deadline))
      return processes().running[processes().current].empty();
  }
}

void StartNextProcess() {
  std::vector<std::pair<std::string, std::function<void(int, const std::vector<DWORD>&)>>> hooks;
  int ended;
  std::vector<DWORD> threads;
  {
    std::lock_guard<MachineMutex> lock(Lock());
    Processes& p = processes();
    ended = p.current;
    auto& members = p.members[ended];
    threads.assign(members.begin(), members.end());
    hooks = p.hooks;
    p.members.erase(ended);
    p.running.erase(ended);
    p.current = ended + 1;
    p.killName.clear();
    p.killNth = p.killMatches = 0;
  }
  for (auto& hook : hooks) hook.second(ended, threads);
}

namespace internal {

int CurrentProcess() { return processOf; }

void JoinProcess(int process) { Join(process); }

void ThreadReturned() { Leave(); }

CallEntry OnCallEntry(CallRecord& record) {
  if (processOf == 0) return CallEntry::kRuns;
  Processes& p = processes();
  if (processOf == p.killed) return CallEntry::kStops;
  if (processOf != p.current || p.killName.empty() || record.name != p.killName)
    return CallEntry::kRuns;
  if (++p.killMatches != p.killNth) return CallEntry::kRuns;
  p.killed = processOf;
  record.result = "(process killed)";
  p.killPoint = record;
  AbandonMutexesOf(processOf);
  NotifyAll();  // its waiting threads wake, see that they are dead and stop
  return HasPartialEffect(record.name) ? CallEntry::kKilledMidway : CallEntry::kStops;
}

bool CurrentThreadDead() {
  if (processOf == 0) return false;
  std::lock_guard<MachineMutex> lock(Lock());
  return processOf == processes().killed;
}

void StopDeadThread() {
  {
    std::lock_guard<MachineMutex> lock(Lock());
    processes().running[processOf].erase(GetCurrentThreadId());
    MarkCurrentThreadStopped();
    NotifyAll();
  }
  for (int held = MachineMutex::HeldByCaller(); held > 0; --held) Lock().unlock();
  // A wait of its own that nothing ends: the machine's condition wakes every blocked thread on
  // each change, and a dead thread must not even take the machine lock again.
  static std::mutex* graveyard = new std::mutex;
  static std::condition_variable* never = new std::condition_variable;
  std::unique_lock<std::mutex> lock(*graveyard);
  for (;;) never->wait(lock);
}

void RegisterProcessEndHook(const char* area,
                            std::function<void(int process, const std::vector<DWORD>& threads)> hook) {
  std::lock_guard<MachineMutex> lock(Lock());
  for (auto& entry : processes().hooks) {
    if (entry.first == area) {
      entry.second = std::move(hook);
      return;
    }
  }
  processes().hooks.emplace_back(area, std::move(hook));
}

}  // namespace internal
}  // namespace sim
