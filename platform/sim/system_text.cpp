// FormatMessageW over the system's message table: the English (en-US) texts of the error codes the
// installer can meet, each ending in "\r\n" as Windows' message table stores them.
//
// Modelled: FORMAT_MESSAGE_FROM_SYSTEM, with or without FORMAT_MESSAGE_ALLOCATE_BUFFER (the block
// comes from LocalAlloc, so it is accounted, and the receiver releases it with LocalFree; without
// the flag the caller's buffer must hold the text and its terminator, or the call fails with
// ERROR_INSUFFICIENT_BUFFER), inserts ("%1" in error 193's text): with FORMAT_MESSAGE_IGNORE_INSERTS
// the text comes as stored; without it and without arguments the call fails with
// ERROR_INVALID_PARAMETER (Windows documents nothing for that case), and
// a maximum width of 0xFF (the text without its line break). Language: neutral, user default,
// system default and en-US are served; any other language fails with 1815 like a system without
// that language pack. The display language of the machine can be Japanese (sim::SetUiLanguage):
// neutral and default languages then serve the Japanese texts, which this table holds for the
// file and access codes (the others keep their English text), and 0x0411 is served too. A code
// without a text fails like Windows: result 0, last error ERROR_MR_MID_NOT_FOUND, nothing
// allocated. Message sources other than the system are not modelled and fail with
// ERROR_INVALID_PARAMETER.
#include <cstring>
#include <map>

#include "platform/sim/sim.h"

namespace {

constexpr DWORD kErrorResourceLangNotFound = 1815;
constexpr DWORD kMaxWidthMask = 0xFF;

const std::map<DWORD, const char16_t*>& SystemTexts() {
  static const auto* texts = new std::map<DWORD, const char16_t*>{
      {0, u"The operation completed successfully.\r\n"},
      {1, u"Incorrect function.\r\n"},
      {2, u"The system cannot find the file specified.\r\n"},
      {3, u"The system cannot find the path specified.\r\n"},
      {5, u"Access is denied.\r\n"},
      {6, u"The handle is invalid.\r\n"},
      {8, u"Not enough memory resources are available to process this command.\r\n"},
      {14, u"Not enough memory resources are available to complete this operation.\r\n"},
      {32, u"The process cannot access the file because it is being used by another process.\r\n"},
      {50, u"The request is not supported.\r\n"},
      {80, u"The file exists.\r\n"},
      {87, u"The parameter is incorrect.\r\n"},
      {122, u"The data area passed to a system call is too small.\r\n"},
      {123, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
      {124, u"The system call level is not correct.\r\n"},
      {126, u"The specified module could not be found.\r\n"},
      {127, u"The specified procedure could not be found.\r\n"},
      {206, u"The filename or extension is too long.\r\n"},
      {183, u"Cannot create a file when that file already exists.\r\n"},
      {193, u"%1 is not a valid Win32 application.\r\n"},
      {234, u"More data is available.\r\n"},
      {258, u"The wait operation timed out.\r\n"},
      {259, u"No more data is available.\r\n"},
      {1053,
       u"The service did not respond to the start or control request in a timely fashion.\r\n"},
      {1056, u"An instance of the service is already running.\r\n"},
      {1058,
       u"The service cannot be started, either because it is disabled or because it has no "
       u"enabled devices associated with it.\r\n"},
      {1060, u"The specified service does not exist as an installed service.\r\n"},
      {1061, u"The service cannot accept control messages at this time.\r\n"},
      {1062, u"The service has not been started.\r\n"},
      {1223, u"The operation was canceled by the user.\r\n"},
      {1400, u"Invalid window handle.\r\n"},
      {1410, u"Class already exists.\r\n"},
      {1411, u"Class does not exist.\r\n"},
      {1444, u"Invalid thread identifier.\r\n"},
      {1722, u"The RPC server is unavailable.\r\n"},
      {1796, u"The specified port is unknown.\r\n"},
      {1797, u"The printer driver is unknown.\r\n"},
      {1801, u"The printer name is invalid.\r\n"},
      {1802, u"The printer already exists.\r\n"},
      {1803, u"The printer command is invalid.\r\n"},
      {1805, u"The environment specified is invalid.\r\n"},
      {1813, u"The specified resource type cannot be found in the image file.\r\n"},
      {1814, u"The specified resource name cannot be found in the image file.\r\n"},
      {3000, u"The specified print monitor is unknown.\r\n"},
      {3001, u"The specified printer driver is currently in use.\r\n"},
      {3006, u"The specified print monitor has already been installed.\r\n"},
  };
  return *texts;
}

// Japanese Windows' wording for the codes a file operation reports most.
const std::map<DWORD, const char16_t*>& JapaneseTexts() {
  static const auto* texts = new std::map<DWORD, const char16_t*>{
      {2, u"指定されたファイルが見つかりません。\r\n"},
      {3, u"指定されたパスが見つかりません。\r\n"},
      {5, u"アクセスが拒否されました。\r\n"},
      {32, u"プロセスはファイルにアクセスできません。別のプロセスが使用中です。\r\n"},
  };
  return *texts;
}

constexpr DWORD kEnglish = 0x0409, kJapanese = 0x0411;
DWORD uiLanguage = kEnglish;
const bool registered =
    (sim::RegisterResetHook("system_text", [] { uiLanguage = kEnglish; }), true);

// The language a request is served in, or 0 when the system lacks it.
DWORD ServedLanguage(DWORD language) {
  if (language == 0 || language == 0x0400 || language == 0x0800) return uiLanguage;
  if (language == kEnglish || language == uiLanguage) return language;
  return 0;
}

}  // namespace

namespace sim {
void SetUiLanguage(WORD language) { uiLanguage = language == kJapanese ? kJapanese : kEnglish; }
}  // namespace sim

namespace {

// True when the text holds an insert: '%' followed by a digit 1 to 9.
bool HasInsert(const std::u16string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == u'%' && text[i + 1] >= u'1' && text[i + 1] <= u'9') return true;
  return false;
}

// Hands the text out as the flags ask; 0 on failure, with the last error set.
DWORD Deliver(sim::Call& call, const char16_t* found, DWORD flags, LPWSTR buffer, DWORD size) {
  const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
  LPWSTR* receiver = allocate ? reinterpret_cast<LPWSTR*>(buffer) : nullptr;
  std::u16string text = found;
  if (!(flags & FORMAT_MESSAGE_IGNORE_INSERTS) && HasInsert(text)) {
    // Arguments for the insert are not modelled: the caller gave none.
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((flags & kMaxWidthMask) == kMaxWidthMask) {
    // "Ignore regular line breaks": the table's closing CR LF goes.
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
  }

  const size_t chars = text.size() + 1;
  LPWSTR out = buffer;
  if (allocate) {
    // `size` is the least number of characters to allocate.
    size_t capacity = chars > size ? chars : size;
    out = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, capacity * sizeof(WCHAR)));
    if (!out) return 0;  // LocalAlloc left ERROR_NOT_ENOUGH_MEMORY
  } else if (size < chars) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, text.c_str(), chars * sizeof(WCHAR));
  if (receiver) *receiver = out;
  call.SetResult(std::to_string(text.size()) + " \"" + sim::Utf8(text) + "\"");
  return static_cast<DWORD>(text.size());
}

DWORD Delivered(sim::Call& call, const char16_t* found, DWORD flags, LPWSTR buffer, DWORD size) {
  DWORD length = Deliver(call, found, flags, buffer, size);
  if (!length) call.Ret<DWORD>(0);
  return length;
}

}  // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list*) {
  sim::Call call("FormatMessageW", {sim::Hex(flags), std::to_string(messageId),
                                    sim::Hex(languageId), std::to_string(size)});
  const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
  // With ALLOCATE_BUFFER the buffer argument is really the address of the receiver's pointer.
  LPWSTR* receiver = allocate ? reinterpret_cast<LPWSTR*>(buffer) : nullptr;
  if (receiver) *receiver = nullptr;
  if (call.Faulted()) return call.Ret<DWORD>(0);
  (void)source;  // only meaningful for FROM_STRING and FROM_HMODULE, which are not modelled

  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) ||
      (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<DWORD>(0);
  }
  DWORD language = ServedLanguage(languageId);
  if (!language) {
    SetLastError(kErrorResourceLangNotFound);
    return call.Ret<DWORD>(0);
  }
  auto japanese = JapaneseTexts().find(messageId);
  if (language == kJapanese && japanese != JapaneseTexts().end()) {
    return Delivered(call, japanese->second, flags, buffer, size);
  }
  auto found = SystemTexts().find(messageId);
  if (found == SystemTexts().end()) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return call.Ret<DWORD>(0);
  }
  return Delivered(call, found->second, flags, buffer, size);
}
