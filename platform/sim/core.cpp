// Simulated machine core: lock, reset, clock, journal, faults, heap, handles, debugger output,
// last error, version, command line, and the kernel's string functions.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <sstream>

#include "platform/sim/process.h"
#include "platform/sim/sim.h"

namespace sim {
namespace {

struct HandleEntry {
  std::string kind;
  std::shared_ptr<void> object;
  int process = 0;  // the process that holds it (0: a test)
};

struct Core {
  std::vector<std::pair<std::string, std::function<void()>>> resetHooks;
  uint64_t clock = 0;
  DateTime dateTime;
  uint64_t dateTimeBase = 0;
  std::deque<CallRecord> journal;
  uint64_t nextSequence = 1;
  std::vector<Fault> faults;
  std::vector<int> faultMatches;
  struct AtCall {
    std::string name;
    int nth = 0;
    int seen = 0;
    std::function<void()> action;
  };
  std::vector<AtCall> actions;
  std::map<void*, size_t> heap;
  size_t heapAllocations = 0;
  int heapFailAfter = -1;
  std::map<uintptr_t, HandleEntry> handles;
  uintptr_t nextHandle = 0x1000;
  std::vector<std::string> debugOutput;
  size_t debugBreaks = 0;
  DWORD version = 0x23F00206;  // 6.2, build 9200: what an unmanifested program sees on Windows 10
  std::u16string commandLine = u"ZQInst.exe";
  std::u16string commandLineBuffer;
};

Core& core() {
  static Core* instance = new Core;
  return *instance;
}

// What the system takes back from a process that has gone: the handles it held, its heap; the next
// process's journal starts empty and no fault is armed for it.
const bool processEndRegistered =
    (internal::RegisterProcessEndHook(
         "core",
         [](int process, const std::vector<DWORD>&) {
           std::vector<std::shared_ptr<void>> closed;  // destroyed after the lock is released
           std::lock_guard<MachineMutex> lock(Lock());
           Core& c = core();
           for (auto it = c.handles.begin(); it != c.handles.end();) {
             if (it->second.process == process) {
               closed.push_back(std::move(it->second.object));
               it = c.handles.erase(it);
             } else {
               ++it;
             }
           }
           for (auto& block : c.heap) std::free(block.first);
           c.heap.clear();
           c.journal.clear();
           c.faults.clear();
           c.faultMatches.clear();
         }),
     true);

thread_local DWORD lastError = 0;
// Journal positions of the calls running on this thread, innermost last.
thread_local std::vector<size_t> runningCalls;

}  // namespace

thread_local int MachineMutex::depth_ = 0;

MachineMutex& Lock() {
  static MachineMutex* mutex = new MachineMutex;
  return *mutex;
}

// ----- text helpers -----
std::string Utf8(const char16_t* text) {
  if (!text) return "(null)";
  return Utf8(std::u16string(text));
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    uint32_t c = 0;
    size_t n = 1;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, n = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, n = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, n = 4;
    } else {
      c = 0xFFFD;
    }
    if (i + n > text.size()) n = text.size() - i, c = 0xFFFD;
    for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += n;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

static char16_t FoldUpper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 32);  // full-width a-z
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  return c;
}

std::u16string Upper(std::u16string text) {
  for (auto& c : text) c = FoldUpper(c);
  return text;
}

bool EqualNoCase(const std::u16string& a, const std::u16string& b) { return Upper(a) == Upper(b); }

std::string Hex(uint64_t value) {
  std::ostringstream s;
  s << "0x" << std::hex << value;
  return s.str();
}

std::string Ptr(const void* value) {
  return value ? Hex(reinterpret_cast<uintptr_t>(value)) : std::string("null");
}

// ----- lifecycle -----
void RegisterResetHook(const char* area, std::function<void()> hook) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  for (auto& entry : core().resetHooks) {
    if (entry.first == area) {
      entry.second = std::move(hook);
      return;
    }
  }
  core().resetHooks.emplace_back(area, std::move(hook));
}

void Reset() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  Core& c = core();
  for (auto& entry : c.resetHooks) entry.second();
  for (auto& block : c.heap) std::free(block.first);
  c.heap.clear();
  c.heapAllocations = 0;
  c.heapFailAfter = -1;
  c.handles.clear();
  c.nextHandle = 0x1000;
  c.clock = 0;
  c.dateTime = DateTime{};
  c.dateTimeBase = 0;
  c.journal.clear();
  c.nextSequence = 1;
  c.faults.clear();
  c.faultMatches.clear();
  c.actions.clear();
  c.debugOutput.clear();
  c.debugBreaks = 0;
  c.version = 0x23F00206;
  c.commandLine = u"ZQInst.exe";
  lastError = 0;
}

// ----- clock -----
uint64_t Now() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return core().clock;
}

void AdvanceClock(uint64_t milliseconds) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  core().clock += milliseconds;
}

void SetDateTime(const DateTime& value) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  core().dateTime = value;
  core().dateTimeBase = core().clock;
}

DateTime CurrentDateTime() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  DateTime d = core().dateTime;
  uint64_t seconds = (core().clock - core().dateTimeBase) / 1000;
  uint64_t total = static_cast<uint64_t>(d.hour) * 3600 + d.minute * 60 + d.second + seconds;
  d.second = static_cast<int>(total % 60);
  d.minute = static_cast<int>((total / 60) % 60);
  d.hour = static_cast<int>((total / 3600) % 24);
  d.day += static_cast<int>(total / 86400);  // tests never run into a month's end
  return d;
}

// ----- journal -----
std::vector<CallRecord> Journal() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return {core().journal.begin(), core().journal.end()};
}

std::vector<CallRecord> Calls(const std::string& name) {
  std::vector<CallRecord> out;
  for (auto& record : Journal())
    if (record.name == name) out.push_back(record);
  return out;
}

size_t CallCount(const std::string& name) { return Calls(name).size(); }

std::vector<std::string> CallNames(const std::vector<std::string>& filter) {
  std::vector<std::string> out;
  for (auto& record : Journal()) {
    if (filter.empty() || std::find(filter.begin(), filter.end(), record.name) != filter.end())
      out.push_back(record.name);
  }
  return out;
}

std::string DumpJournal(size_t lastN) {
  auto records = Journal();
  std::ostringstream s;
  size_t start = records.size() > lastN ? records.size() - lastN : 0;
  for (size_t i = start; i < records.size(); ++i) {
    const auto& r = records[i];
    s << "#" << r.sequence << " t=" << r.time << "ms thread " << r.thread << " " << r.name << "(";
    for (size_t a = 0; a < r.args.size(); ++a) s << (a ? ", " : "") << r.args[a];
    s << ") -> " << (r.finished ? r.result : "(running)") << " [last error " << r.lastError << "]"
      << (r.faulted ? " FAULT" : "") << "\n";
  }
  return s.str();
}

Call::Call(const char* name, std::vector<std::string> args) : name_(name), args_(std::move(args)) {
  std::unique_lock<sim::MachineMutex> lock(Lock());
  CallRecord record;
  record.sequence = core().nextSequence++;
  record.thread = GetCurrentThreadId();
  record.time = core().clock;
  record.name = name_;
  record.args = args_;
  if (!runningCalls.empty() && runningCalls.back() < core().journal.size())
    record.caller = core().journal[runningCalls.back()].name;
  // A killed process's threads stop here, before the call has any effect.
  internal::CallEntry entry = internal::OnCallEntry(record);
  core().journal.push_back(record);
  index_ = core().journal.size() - 1;
  runningCalls.push_back(index_);
  if (entry == internal::CallEntry::kStops) {
    lock.unlock();
    internal::StopDeadThread();
  }
  killedMidway_ = entry == internal::CallEntry::kKilledMidway;
}

Call::~Call() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!runningCalls.empty()) runningCalls.pop_back();
  if (index_ < core().journal.size()) {
    auto& record = core().journal[index_];
    record.finished = true;
    record.lastError = lastError;
    record.faulted = faulted_;
  }
}

void Call::SetResult(std::string text) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (index_ < core().journal.size()) core().journal[index_].result = std::move(text);
}

bool Call::Faulted() {
  if (checked_) return faulted_;
  checked_ = true;
  std::function<void()> action;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    for (auto& at : core().actions) {
      if (at.name == name_ && ++at.seen == at.nth && at.action) {
        action = std::move(at.action);
        at.action = nullptr;
        break;
      }
    }
  }
  if (action) action();
  std::lock_guard<sim::MachineMutex> lock(Lock());
  Core& c = core();
  const CallRecord& record = c.journal[index_];
  for (size_t i = 0; i < c.faults.size(); ++i) {
    Fault& f = c.faults[i];
    if (f.name != name_) continue;
    if (f.when && !f.when(record)) continue;
    int match = ++c.faultMatches[i];
    if (f.nth > 0 && match != f.nth) continue;
    if (f.times == 0) continue;
    if (f.times > 0) --f.times;
    faulted_ = true;
    lastError = f.error;
    c.journal[index_].result = "fault";
    return true;
  }
  return false;
}

// ----- faults -----
void InjectFault(Fault fault) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  core().faults.push_back(std::move(fault));
  core().faultMatches.push_back(0);
}

void FailAlways(const std::string& name, DWORD error) { InjectFault({name, error, 0, -1, {}}); }
void FailNth(const std::string& name, int nth, DWORD error) {
  InjectFault({name, error, nth, -1, {}});
}
void FailWhen(const std::string& name, DWORD error, std::function<bool(const CallRecord&)> when) {
  InjectFault({name, error, 0, -1, std::move(when)});
}
void RunAtCall(const std::string& name, int nth, std::function<void()> action) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  core().actions.push_back({name, nth, 0, std::move(action)});
}

void ClearFaults() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  core().faults.clear();
  core().faultMatches.clear();
}

bool ArgContains(const CallRecord& call, const std::string& text) {
  for (auto& a : call.args)
    if (a.find(text) != std::string::npos) return true;
  return false;
}

// ----- heap -----
size_t LiveHeapBlocks() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return core().heap.size();
}
size_t HeapAllocations() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return core().heapAllocations;
}
void FailHeapAfter(int allocations) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  core().heapFailAfter = allocations;
}

// ----- handles -----
HANDLE NewHandle(const std::string& kind, std::shared_ptr<void> object) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  uintptr_t value = core().nextHandle;
  core().nextHandle += 4;
  core().handles[value] = HandleEntry{kind, std::move(object), internal::CurrentProcess()};
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<void> LookupHandle(HANDLE handle, const std::string& kind) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto it = core().handles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == core().handles.end() || (!kind.empty() && it->second.kind != kind)) return nullptr;
  return it->second.object;
}

bool ReleaseHandle(HANDLE handle, const std::string& kind) {
  std::shared_ptr<void> keep;  // destroyed after the lock is released
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto it = core().handles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == core().handles.end() || (!kind.empty() && it->second.kind != kind)) return false;
  keep = std::move(it->second.object);
  core().handles.erase(it);
  return true;
}

size_t OpenHandles(const std::string& kind) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  size_t n = 0;
  for (auto& entry : core().handles)
    if (kind.empty() || entry.second.kind == kind) ++n;
  return n;
}

std::string OpenHandleReport() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::ostringstream s;
  for (auto& entry : core().handles) s << Hex(entry.first) << " " << entry.second.kind << "\n";
  return s.str();
}

// ----- debugger output -----
std::vector<std::string> DebugOutput() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return core().debugOutput;
}
size_t DebugBreaks() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return core().debugBreaks;
}

void SetVersion(DWORD packedVersion) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  core().version = packedVersion;
}

void SetCommandLine(const std::u16string& commandLine) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  core().commandLine = commandLine;
}

}  // namespace sim

using sim::Call;
using sim::Lock;

// ----- kernel: last error -----
DWORD GetLastError() { return sim::lastError; }
void SetLastError(DWORD code) { sim::lastError = code; }

// ----- kernel: local heap -----
// Blocks carry no header: the accounting map knows their sizes. Zero-initialised on request.
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  Call call("LocalAlloc", {sim::Hex(flags), std::to_string(bytes)});
  if (call.Faulted()) return call.Ret<HLOCAL>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& c = sim::core();
  if (c.heapFailAfter == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return call.Ret<HLOCAL>(nullptr);
  }
  if (c.heapFailAfter > 0) --c.heapFailAfter;
  void* block = std::malloc(bytes ? bytes : 1);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return call.Ret<HLOCAL>(nullptr);
  }
  if (flags & LMEM_ZEROINIT) std::memset(block, 0, bytes ? bytes : 1);
  c.heap[block] = bytes;
  ++c.heapAllocations;
  return call.Ret<HLOCAL>(block);
}

HLOCAL LocalFree(HLOCAL block) {
  Call call("LocalFree", {sim::Ptr(block)});
  if (!block) return call.Ret<HLOCAL>(nullptr);
  // A failed release hands the block back, still allocated.
  if (call.Faulted()) return call.Ret<HLOCAL>(block);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& heap = sim::core().heap;
  auto it = heap.find(block);
  if (it == heap.end()) {
    // Windows reports ERROR_INVALID_HANDLE and hands the block back.
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<HLOCAL>(block);
  }
  std::free(it->first);
  heap.erase(it);
  return call.Ret<HLOCAL>(nullptr);
}

HGLOBAL GlobalFree(HGLOBAL block) {
  // The simulated process has one heap; GlobalFree releases blocks made by the shell's allocations
  // (CommandLineToArgvW) as on Windows.
  return LocalFree(block);
}

// ----- kernel: strings -----
int lstrlenW(LPCWSTR text) {
  if (!text) return 0;
  int n = 0;
  while (text[n]) ++n;
  return n;
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
  std::u16string x = a ? a : u"", y = b ? b : u"";
  return x < y ? -1 : (x == y ? 0 : 1);
}

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  std::u16string x = sim::Upper(a ? a : u""), y = sim::Upper(b ? b : u"");
  return x < y ? -1 : (x == y ? 0 : 1);
}

// ----- kernel: debugging -----
// A faulted output is lost on its way to the debugger: the program cannot tell, as with no
// debugger attached.
void OutputDebugStringW(LPCWSTR text) {
  Call call("OutputDebugStringW", {sim::Utf8(text)});
  if (call.Faulted()) return;
  std::lock_guard<sim::MachineMutex> lock(Lock());
  sim::core().debugOutput.push_back(text ? sim::Utf8(text) : std::string());
}

void OutputDebugStringA(LPCSTR text) {
  Call call("OutputDebugStringA", {text ? text : "(null)"});
  if (call.Faulted()) return;
  std::lock_guard<sim::MachineMutex> lock(Lock());
  sim::core().debugOutput.push_back(text ? text : "");
}

void DebugBreak() {
  Call call("DebugBreak");
  std::lock_guard<sim::MachineMutex> lock(Lock());
  ++sim::core().debugBreaks;
}

// ----- kernel: version, command line, time -----
// Windows documents no failure for these two; a fault stands for a platform that reports nothing
// usable: version 0, an empty command line.
DWORD GetVersion() {
  Call call("GetVersion");
  if (call.Faulted()) return call.Ret<DWORD>(0);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return call.Ret(sim::core().version);
}

LPWSTR GetCommandLineW() {
  Call call("GetCommandLineW");
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& c = sim::core();
  // Stable for the life of the run, as on Windows.
  c.commandLineBuffer = call.Faulted() ? std::u16string() : c.commandLine;
  return c.commandLineBuffer.data();
}

// Sleep and GetTickCount cannot fail: Windows documents no failure for either (Sleep returns
// nothing, GetTickCount always has a count), so they have no fault check and an injected fault
// on them never applies.
void Sleep(DWORD milliseconds) {
  Call call("Sleep", {std::to_string(milliseconds)});
  sim::AdvanceClock(milliseconds);
}

DWORD GetTickCount() {
  Call call("GetTickCount");
  return call.Ret(static_cast<DWORD>(sim::Now()));
}

// Thread ids are small numbers handed out in the order threads first ask; ids stay unique for the
// life of the process (Windows may reuse them, nothing here relies on that).
DWORD GetCurrentThreadId() {
  static std::atomic<DWORD> next{100};
  thread_local DWORD id = 0;
  if (id == 0) id = (next += 4);
  return id;
}
