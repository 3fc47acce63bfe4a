// The simulated process's environment variables and their expansion in texts: "%NAME%" becomes
// the variable's value (names in any letter case); a name that is not set, and a lone "%", stay
// as they are. ExpandEnvironmentStringsW answers with the characters the whole expansion needs,
// terminator included, and fills the buffer only when all of it fits (Microsoft Learn,
// ExpandEnvironmentStringsW).
#include <map>
#include <string>

#include "platform/sim/sim.h"

namespace sim {
namespace {

struct Environment {
  std::map<std::u16string, std::u16string> variables;  // upper-case name -> value
};

std::u16string UpperName(const std::u16string& text) {
  std::u16string out = text;
  for (auto& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return out;
}

Environment Fresh() {
  Environment e;
  e.variables = {{u"SYSTEMROOT", u"C:\\Windows"},
                 {u"WINDIR", u"C:\\Windows"},
                 {u"SYSTEMDRIVE", u"C:"},
                 {u"PROGRAMDATA", u"C:\\ProgramData"},
                 {u"TEMP", u"C:\\Windows\\Temp"},
                 {u"TMP", u"C:\\Windows\\Temp"},
                 {u"USERPROFILE", u"C:\\Users\\Admin"}};
  return e;
}

Environment& environment() {
  static Environment* instance = new Environment(Fresh());
  return *instance;
}

const bool registered = (RegisterResetHook("environment", [] { environment() = Fresh(); }), true);

std::u16string Expand(const std::u16string& text) {
  std::u16string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t open = text.find(u'%', at);
    if (open == std::u16string::npos) break;
    size_t close = text.find(u'%', open + 1);
    if (close == std::u16string::npos) break;
    out += text.substr(at, open - at);
    auto found = environment().variables.find(UpperName(text.substr(open + 1, close - open - 1)));
    if (close > open + 1 && found != environment().variables.end()) {
      out += found->second;
      at = close + 1;
    } else {
      // Not a variable: the first "%" stays, and the second may open the next name.
      out += u'%';
      at = open + 1;
      if (close == open + 1) {
        out += u'%';
        at = close + 1;
      }
    }
  }
  out += text.substr(at);
  return out;
}

}  // namespace

void SetEnvironmentText(const std::u16string& name, const std::u16string& value) {
  std::lock_guard<MachineMutex> lock(Lock());
  environment().variables[UpperName(name)] = value;
}

}  // namespace sim

DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size) {
  sim::Call call("ExpandEnvironmentStringsW",
                 {sim::Utf8(source), sim::Ptr(destination), std::to_string(size)});
  if (call.Faulted()) return call.Ret<DWORD>(0);
  if (!source) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<DWORD>(0);
  }
  std::u16string expanded;
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    expanded = sim::Expand(source);
  }
  DWORD needed = static_cast<DWORD>(expanded.size() + 1);
  if (destination && size >= needed) {
    for (size_t i = 0; i < expanded.size(); ++i) destination[i] = expanded[i];
    destination[expanded.size()] = 0;
  }
  return call.Ret<DWORD>(needed);
}
