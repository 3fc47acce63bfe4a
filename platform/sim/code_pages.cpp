// Code-page conversions of the simulated machine: GetACP, MultiByteToWideChar and
// WideCharToMultiByte for CP_ACP (65001 or 932) and CP_UTF8. See code_pages.h.
#include "platform/sim/code_pages.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/sim/sim.h"

namespace sim {
namespace {

constexpr UINT kJapanese = 932;

UINT FromEnvironment() {
  const char* value = std::getenv("ZQ_SIM_ACP");
  return value && std::strcmp(value, "932") == 0 ? kJapanese : CP_UTF8;
}

UINT& codePage() {
  static UINT* value = new UINT(FromEnvironment());
  return *value;
}

const bool registered =
    (RegisterResetHook("code pages", [] { codePage() = FromEnvironment(); }), true);

// One character at a time through iconv, so that what does not convert is replaced and the rest
// goes on. `from`/`to` are iconv names.
template <class Out, class In>
Out Convert(const char* to, const char* from, const In& text, size_t unit,
            const Out& replacement, bool* replaced) {
  Out out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
  const char* in = reinterpret_cast<const char*>(text.data());
  size_t left = text.size() * sizeof(text[0]);
  while (left > 0) {
    char buffer[16];
    char* next = buffer;
    size_t room = sizeof buffer;
    char* source = const_cast<char*>(in);
    size_t before = left;
    size_t result = iconv(cd, &source, &left, &next, &room);
    size_t produced = sizeof buffer - room;
    out.append(reinterpret_cast<const typename Out::value_type*>(buffer),
               produced / sizeof(typename Out::value_type));
    in = source;
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      // An invalid or incomplete sequence: one unit is replaced and skipped.
      size_t skip = std::min(unit, left);
      in += skip;
      left -= skip;
      out += replacement;
      if (replaced) *replaced = true;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    } else if (left == before && produced == 0) {
      break;  // no progress: give up rather than spin
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

void SetAnsiCodePage(UINT value) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  codePage() = value == kJapanese ? kJapanese : CP_UTF8;
}

UINT AnsiCodePage() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return codePage();
}

std::u16string AnsiToWide(const std::string& text) {
  if (AnsiCodePage() != kJapanese) return Utf16(text);
  return Convert<std::u16string>("UTF-16LE", "CP932", text, 1, std::u16string(1, u'\u30FB'),
                                 nullptr);
}

std::string WideToAnsi(const std::u16string& text, bool* usedDefault) {
  if (usedDefault) *usedDefault = false;
  if (AnsiCodePage() != kJapanese) return Utf8(text);
  return Convert<std::string>("CP932", "UTF-16LE", text, 2, std::string("?"), usedDefault);
}

}  // namespace sim

UINT GetACP() { return sim::AnsiCodePage(); }

namespace {

// CP_ACP and the ANSI code page's own number mean the ANSI code page; every other code page is
// taken as UTF-8.
bool Ansi(UINT codePage) {
  return codePage == CP_ACP || (codePage != CP_UTF8 && codePage == sim::AnsiCodePage());
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR source, int sourceBytes, LPWSTR dest,
                        int destChars) {
  if (!source || sourceBytes == 0 || destChars < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string text = sourceBytes < 0 ? std::string(source, std::strlen(source) + 1)
                                     : std::string(source, static_cast<size_t>(sourceBytes));
  std::u16string wide = Ansi(codePage) ? sim::AnsiToWide(text) : sim::Utf16(text);
  if (destChars == 0) return static_cast<int>(wide.size());
  if (wide.size() > static_cast<size_t>(destChars)) {
    std::memcpy(dest, wide.data(), static_cast<size_t>(destChars) * 2);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dest, wide.data(), wide.size() * 2);
  return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR source, int sourceChars, LPSTR dest,
                        int destBytes, LPCSTR, LPBOOL usedDefault) {
  if (!source || sourceChars == 0 || destBytes < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefault) *usedDefault = FALSE;
  std::u16string wide = sourceChars < 0
                            ? std::u16string(source, static_cast<size_t>(lstrlenW(source)) + 1)
                            : std::u16string(source, static_cast<size_t>(sourceChars));
  // A surrogate without its partner has no UTF-8 form: it becomes U+FFFD, as on Windows.
  for (size_t i = 0; i < wide.size(); ++i) {
    bool high = wide[i] >= 0xD800 && wide[i] < 0xDC00, low = wide[i] >= 0xDC00 && wide[i] < 0xE000;
    bool paired = high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000;
    if (paired)
      ++i;
    else if (high || low)
      wide[i] = 0xFFFD;
  }
  bool defaulted = false;
  std::string narrow =
      Ansi(codePage) && sim::AnsiCodePage() != CP_UTF8 ? sim::WideToAnsi(wide, &defaulted)
                                                       : sim::Utf8(wide);
  if (usedDefault) *usedDefault = defaulted ? TRUE : FALSE;
  if (destBytes == 0) return static_cast<int>(narrow.size());
  if (narrow.size() > static_cast<size_t>(destBytes)) {
    std::memcpy(dest, narrow.data(), static_cast<size_t>(destBytes));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dest, narrow.data(), narrow.size());
  return static_cast<int>(narrow.size());
}
