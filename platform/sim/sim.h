// The simulated machine behind platform/sim/windows.h: what tests stage, inspect and break.
//
// One process-wide machine. Every test starts from sim::Reset(). The machine is guarded by one
// recursive lock; simulated calls take it for their own bookkeeping and never hold it while they
// block (waits, modal loops).
//
// Core services kept here:
//  - the call journal: every simulated call, in call order, with thread, virtual time, name, key
//    arguments, result and the last-error value it left;
//  - fault injection: make a named call fail always, the n-th time, or when a predicate on its
//    arguments holds, with a chosen last-error code;
//  - the virtual clock (Sleep advances it, GetTickCount reads it);
//  - accounting of live local-heap blocks and open handles of every kind;
//  - captured debugger output, debugger breaks, the platform version and the command line.
// Each area of the machine (spooler, services, registry, files, windows, threads, modules) has its
// own header beside this one for what tests stage and inspect there.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/windows.h"

namespace sim {

// ----- text helpers for the simulation and the tests -----
std::string Utf8(const char16_t* text);
std::string Utf8(const std::u16string& text);
std::u16string Utf16(const std::string& text);
std::u16string Upper(std::u16string text);  // ASCII and full-width Latin letters folded
bool EqualNoCase(const std::u16string& a, const std::u16string& b);
std::string Hex(uint64_t value);
std::string Ptr(const void* value);  // "null" or 0x...

// ----- machine lifecycle -----
// Brings the whole machine back to its initial state: every area registered through
// RegisterResetHook is reset, the journal, faults, accounting, clock and captured output cleared.
void Reset();
// Sets a variable of the process's environment (environment.cpp).
void SetEnvironmentText(const std::u16string& name, const std::u16string& value);
void RegisterResetHook(const char* area, std::function<void()> hook);
// The machine's one lock: recursive, and it knows how often the calling thread holds it, so that
// a thread of a killed process can let go of it entirely before it stops for good.
class MachineMutex {
 public:
  void lock() {
    mutex_.lock();
    ++depth_;
  }
  bool try_lock() {
    if (!mutex_.try_lock()) return false;
    ++depth_;
    return true;
  }
  void unlock() {
    --depth_;
    mutex_.unlock();
  }
  // How many times the calling thread holds the lock now.
  static int HeldByCaller() { return depth_; }

 private:
  std::recursive_mutex mutex_;
  static thread_local int depth_;
};
MachineMutex& Lock();

// ----- virtual clock (milliseconds since the machine started) -----
uint64_t Now();
void AdvanceClock(uint64_t milliseconds);
// Wall-clock date and time the machine reports (_strdate, _strtime, SYSTEMTIME fields).
struct DateTime {
  int year = 2026, month = 12, day = 8, hour = 9, minute = 30, second = 0;
};
void SetDateTime(const DateTime& value);
DateTime CurrentDateTime();  // the set date and time plus the virtual time elapsed since

// ----- journal -----
struct CallRecord {
  uint64_t sequence = 0;
  DWORD thread = 0;
  uint64_t time = 0;  // virtual ms at entry
  std::string name;
  // The simulated call still running on the same thread when this one was made: the machine's
  // own use of a call (a LocalAlloc inside FormatMessageW), or the program's call from a procedure
  // the machine called back (a SetPropW in the dialog procedure, inside DialogBoxParamW). Empty at
  // the top level.
  std::string caller;
  std::vector<std::string> args;
  std::string result;
  DWORD lastError = 0;  // the thread's last error when the call returned
  bool faulted = false;
  bool finished = false;
};
std::vector<CallRecord> Journal();
std::vector<CallRecord> Calls(const std::string& name);
size_t CallCount(const std::string& name);
// Names of the journal's calls in order, keeping only those in the filter (all when empty).
std::vector<std::string> CallNames(const std::vector<std::string>& filter = {});
std::string DumpJournal(size_t lastN = 200);

// Records one simulated call for its lifetime: created on entry, finished on exit.
class Call {
 public:
  Call(const char* name, std::vector<std::string> args = {});
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  // True when an injected fault applies to this call; the last error is then already set and
  // the caller returns its failure value.
  bool Faulted();
  // True when the process was killed at this call while it was under way (CopyFileW): the call
  // leaves what a cut-off call leaves, then stops its thread (process.h).
  bool KilledMidway() const { return killedMidway_; }
  // Notes the result text; returns the value for `return call.Ret(x);`.
  template <class T>
  T Ret(T value) {
    SetResult(Describe(value));
    return value;
  }
  void SetResult(std::string text);
  const std::vector<std::string>& Args() const { return args_; }

 private:
  static std::string Describe(BOOL value) { return std::to_string(value); }
  static std::string Describe(DWORD value) { return std::to_string(value); }
  static std::string Describe(int64_t value) { return std::to_string(value); }
  static std::string Describe(uint64_t value) { return std::to_string(value); }
  static std::string Describe(const void* value) { return Ptr(value); }
  template <class P>
  static std::string Describe(P* value) {
    return Ptr(static_cast<const void*>(value));
  }
  size_t index_;
  std::string name_;
  std::vector<std::string> args_;
  bool checked_ = false;
  bool faulted_ = false;
  bool killedMidway_ = false;
};

// ----- fault injection -----
struct Fault {
  std::string name;  // the simulated function, e.g. "CopyFileW"
  DWORD error = 0;   // last-error code left by the failing call
  int nth = 0;       // 0: every matching call; n: only the n-th matching call (1-based)
  int times = -1;    // how many matching calls fail at most (-1: no limit)
  std::function<bool(const CallRecord&)> when;  // optional predicate on the call's arguments
};
void InjectFault(Fault fault);
void FailAlways(const std::string& name, DWORD error);
void FailNth(const std::string& name, int nth, DWORD error);
void FailWhen(const std::string& name, DWORD error, std::function<bool(const CallRecord&)> when);
void ClearFaults();
// Runs `action` when the n-th call (1-based) of that name begins, before the call does anything,
// on the calling thread and without the machine lock: what happens elsewhere at that moment (a
// console event while a file is deleted). For the program's own calls, not the machine's.
void RunAtCall(const std::string& name, int nth, std::function<void()> action);
// True when any argument of the call contains the text (UTF-8).
bool ArgContains(const CallRecord& call, const std::string& text);

// ----- local heap accounting -----
size_t LiveHeapBlocks();
size_t HeapAllocations();             // blocks allocated since the reset
void FailHeapAfter(int allocations);  // the allocation after the next n fails (-1: never)

// ----- handles -----
// Every kernel, printer, service, registry and module handle comes from one table so that tests
// can see what was left open. Objects live as long as their handle (or longer, when shared).
HANDLE NewHandle(const std::string& kind, std::shared_ptr<void> object);
std::shared_ptr<void> LookupHandle(HANDLE handle, const std::string& kind);
template <class T>
std::shared_ptr<T> Lookup(HANDLE handle, const std::string& kind) {
  return std::static_pointer_cast<T>(LookupHandle(handle, kind));
}
bool ReleaseHandle(HANDLE handle, const std::string& kind);
size_t OpenHandles(const std::string& kind = "");
std::string OpenHandleReport();

// ----- debugger output, breaks -----
std::vector<std::string> DebugOutput();  // one entry per OutputDebugString call, UTF-8
size_t DebugBreaks();

// ----- platform identity -----
void SetVersion(DWORD packedVersion);  // GetVersion's value: major in the low byte
void SetCommandLine(const std::u16string& commandLine);
// The display language of the system's texts (FormatMessageW): 0x0409 English (the default) or
// 0x0411 Japanese.
void SetUiLanguage(WORD language);

}  // namespace sim
