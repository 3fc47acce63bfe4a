// CommandLineToArgvW with the shell's splitting rules.
//
//  - The program name (argument 0) runs up to the first space or tab; when the line starts with a
//    quote it runs up to the next quote instead, with no backslash processing at all (paths end in
//    backslashes). A line that starts with whitespace therefore has an empty program name.
//  - Every further argument is separated by spaces and tabs outside quotes. 2n backslashes before a
//    quote give n backslashes and the quote opens or closes a quoted part; 2n+1 backslashes before
//    a quote give n backslashes and a literal quote; backslashes anywhere else are literal. Inside
//    a quoted part, two quotes in a row give one literal quote and the part stays open (the rule of
//    the runtimes since 2008). "" on its own is an empty argument; trailing whitespace adds none.
//  - An empty (or missing) command line gives one argument: the program path of the process.
//  - The result is one LocalAlloc block holding the pointer array (ended by a null entry) and the
//    strings behind it; the caller releases it with GlobalFree or LocalFree. A missing argc pointer
//    fails with ERROR_INVALID_PARAMETER; an exhausted heap with ERROR_NOT_ENOUGH_MEMORY.
#include <cstring>
#include <vector>

#include "platform/sim/command_line.h"
#include "platform/sim/sim.h"

namespace sim {
namespace {

std::u16string& programPath() {
  static auto* path = new std::u16string(DefaultProgramPath);
  return *path;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::vector<std::u16string> Split(const std::u16string& line) {
  std::vector<std::u16string> args;
  const size_t n = line.size();
  size_t i = 0;
  std::u16string program;
  if (n > 0 && line[0] == u'"') {
    for (i = 1; i < n && line[i] != u'"'; ++i) program += line[i];
    if (i < n) ++i;  // the closing quote
  } else {
    for (; i < n && !IsBlank(line[i]); ++i) program += line[i];
  }
  args.push_back(program);

  while (i < n && IsBlank(line[i])) ++i;
  while (i < n) {
    std::u16string arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(line[i]))) {
      char16_t c = line[i];
      if (c == u'\\') {
        size_t backslashes = 0;
        for (; i < n && line[i] == u'\\'; ++i) ++backslashes;
        if (i < n && line[i] == u'"') {
          arg.append(backslashes / 2, u'\\');
          if (backslashes % 2) {
            arg += u'"';
            ++i;
          }
          // With an even count the quote is handled as a quote on the next round.
        } else {
          arg.append(backslashes, u'\\');
        }
      } else if (c == u'"') {
        ++i;
        if (quoted && i < n && line[i] == u'"') {
          arg += u'"';
          ++i;
        } else {
          quoted = !quoted;
        }
      } else {
        arg += c;
        ++i;
      }
    }
    args.push_back(arg);
    while (i < n && IsBlank(line[i])) ++i;
  }
  return args;
}

}  // namespace

void SetProgramPath(const std::u16string& path) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  programPath() = path;
}

std::u16string ProgramPath() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return programPath();
}

namespace {
const bool registered = [] {
  RegisterResetHook("command_line", [] { programPath() = DefaultProgramPath; });
  return true;
}();
}  // namespace

}  // namespace sim

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argc) {
  sim::Call call("CommandLineToArgvW", {sim::Utf8(commandLine)});
  if (call.Faulted()) return call.Ret<LPWSTR*>(nullptr);
  if (!argc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<LPWSTR*>(nullptr);
  }
  std::vector<std::u16string> args;
  if (!commandLine || !*commandLine) {
    args.push_back(sim::ProgramPath());
  } else {
    args = sim::Split(commandLine);
  }

  size_t pointerBytes = (args.size() + 1) * sizeof(LPWSTR);
  size_t bytes = pointerBytes;
  for (auto& a : args) bytes += (a.size() + 1) * sizeof(WCHAR);
  auto block = static_cast<LPWSTR*>(LocalAlloc(LMEM_FIXED, bytes));
  if (!block) return call.Ret<LPWSTR*>(nullptr);  // LocalAlloc left ERROR_NOT_ENOUGH_MEMORY
  auto text = reinterpret_cast<WCHAR*>(reinterpret_cast<BYTE*>(block) + pointerBytes);
  std::string described = "argc=" + std::to_string(args.size());
  for (size_t k = 0; k < args.size(); ++k) {
    block[k] = text;
    std::memcpy(text, args[k].c_str(), (args[k].size() + 1) * sizeof(WCHAR));
    text += args[k].size() + 1;
    described += " [" + sim::Utf8(args[k]) + "]";
  }
  block[args.size()] = nullptr;
  *argc = static_cast<int>(args.size());
  call.SetResult(described);
  return block;
}
