// Bounded strings and heap strings. The bounded functions keep to the safe-string rules: the
// capacity counts the terminator, a destination that passed the capacity check always ends
// terminated, and a cut is reported but never refused.
#include "support/strings.h"

#include <cstdarg>

namespace {

bool CapacityValid(size_t capacity) { return capacity != 0 && capacity <= MaxStringCapacity; }

// The counted printf of the platform runtime, per text width.
int CountedFormat(LPWSTR destination, size_t count, LPCWSTR format, va_list arguments) {
  return _vsnwprintf(destination, count, format, arguments);
}
int CountedFormat(LPSTR destination, size_t count, LPCSTR format, va_list arguments) {
  return _vsnprintf(destination, count, format, arguments);
}

bool HighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool LowSurrogate(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A wide text cut after `length` characters does not end in the first half of a surrogate pair;
// ANSI texts are cut where their callers' code pages allow (see the log's writers).
void EndAtWholeCharacter(LPWSTR text, size_t length) {
  if (length != 0 && HighSurrogate(text[length - 1])) text[length - 1] = 0;
}
void EndAtWholeCharacter(LPSTR, size_t) {}

template <class Char>
HRESULT FormatInto(Char* destination, size_t capacity, const Char* format, va_list arguments) {
  if (!CapacityValid(capacity) || !destination || !format) return E_INVALIDARG;
  const size_t room = capacity - 1;
  // The runtime leaves the text unterminated when it fills `room` exactly and reports a
  // negative count when it is longer; either way the terminator goes at the end of the room.
  int count = CountedFormat(destination, room, format, arguments);
  if (count < 0 || static_cast<size_t>(count) > room) {
    destination[room] = 0;
    EndAtWholeCharacter(destination, room);
    return STRSAFE_E_INSUFFICIENT_BUFFER;
  }
  if (static_cast<size_t>(count) == room) destination[room] = 0;
  return S_OK;
}

// Copies while the destination has room, the source has not ended and fewer than
// MaxStringCapacity - 1 characters were taken; a full destination keeps capacity - 1 of them.
template <class Char>
HRESULT CopyInto(Char* destination, size_t capacity, const Char* source) {
  size_t room = capacity;
  size_t taken = 0;
  while (room != 0 && *source != 0 && taken < MaxStringCapacity - 1) {
    *destination++ = *source++;
    --room;
    ++taken;
  }
  if (room == 0) {
    destination[-1] = 0;
    EndAtWholeCharacter(destination - capacity, capacity - 1);
    return STRSAFE_E_INSUFFICIENT_BUFFER;
  }
  *destination = 0;
  return S_OK;
}

template <class Char>
HRESULT MeasureText(const Char* text, size_t bound, size_t* length) {
  if (length) *length = 0;
  if (!text || bound > MaxStringCapacity) return E_INVALIDARG;
  size_t n = 0;
  while (n < bound && text[n] != 0) ++n;
  if (n == bound) return E_INVALIDARG;  // no terminator among the characters examined
  if (length) *length = n;
  return S_OK;
}

}  // namespace

// ----- wide bounded functions -----
HRESULT BoundedFormat(LPWSTR destination, size_t capacity, LPCWSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  HRESULT result = BoundedFormatArgs(destination, capacity, format, arguments);
  va_end(arguments);
  return result;
}

HRESULT BoundedFormatArgs(LPWSTR destination, size_t capacity, LPCWSTR format, va_list arguments) {
  return FormatInto(destination, capacity, format, arguments);
}

HRESULT BoundedCopy(LPWSTR destination, size_t capacity, LPCWSTR source) {
  if (!CapacityValid(capacity) || !destination || !source) return E_INVALIDARG;
  return CopyInto(destination, capacity, source);
}

HRESULT BoundedLength(LPCWSTR text, size_t bound, size_t* length) {
  return MeasureText(text, bound, length);
}

HRESULT BoundedByteLength(LPCWSTR text, size_t boundBytes, size_t* lengthBytes) {
  size_t characters = 0;
  HRESULT result = MeasureText(text, boundBytes / sizeof(WCHAR), &characters);
  if (lengthBytes) *lengthBytes = characters * sizeof(WCHAR);
  return result;
}

size_t StringByteSize(LPCWSTR text) {
  size_t bytes = 0;
  if (FAILED(BoundedByteLength(text, 0xFFFFFFFE, &bytes))) {
    // No caller passes a missing or unterminated text; stop in the debugger when one does. Going
    // on, the size 0 makes DuplicateString refuse instead of reading through the bad pointer.
    DebugBreak();
    return 0;
  }
  return bytes + sizeof(WCHAR);
}

// ----- ANSI bounded functions -----
HRESULT BoundedFormatArgs(LPSTR destination, size_t capacity, LPCSTR format, va_list arguments) {
  return FormatInto(destination, capacity, format, arguments);
}

HRESULT BoundedFormat(LPSTR destination, size_t capacity, LPCSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  HRESULT result = BoundedFormatArgs(destination, capacity, format, arguments);
  va_end(arguments);
  return result;
}

HRESULT BoundedConcat(LPSTR destination, size_t capacity, LPCSTR source) {
  if (!CapacityValid(capacity) || !destination || !source) return E_INVALIDARG;
  size_t present = 0;
  if (FAILED(MeasureText(static_cast<LPCSTR>(destination), capacity, &present)))
    return E_INVALIDARG;
  return CopyInto(destination + present, capacity - present, source);
}

HRESULT BoundedLength(LPCSTR text, size_t bound, size_t* length) {
  return MeasureText(text, bound, length);
}

// ----- heap strings -----
LPWSTR AllocZeroedChars(size_t count) {
  if (count > static_cast<size_t>(-1) / sizeof(WCHAR)) return nullptr;
  return static_cast<LPWSTR>(LocalAlloc(LMEM_ZEROINIT, count * sizeof(WCHAR)));
}

LPWSTR DuplicateString(LPCWSTR text) {
  size_t bytes = StringByteSize(text);
  if (bytes == 0) return nullptr;
  LPWSTR copy = AllocZeroedChars(bytes / sizeof(WCHAR));
  if (!copy) return nullptr;
  for (size_t i = 0; i < bytes / sizeof(WCHAR); ++i) copy[i] = text[i];
  return copy;
}

void FreeString(LPWSTR block) {
  if (block) LocalFree(block);
}

LPWSTR JoinStrings(LPCWSTR first, ...) {
  va_list arguments;
  va_start(arguments, first);
  va_list measure;
  va_copy(measure, arguments);
  size_t total = 0;
  for (LPCWSTR text = first; text; text = va_arg(measure, LPCWSTR))
    total += static_cast<size_t>(lstrlenW(text));
  va_end(measure);

  LPWSTR joined = AllocZeroedChars(total + 1);
  if (joined) {
    LPWSTR end = joined;
    for (LPCWSTR text = first; text; text = va_arg(arguments, LPCWSTR)) {
      while (*text) *end++ = *text++;
    }
    *end = 0;
  }
  va_end(arguments);
  return joined;
}

LPWSTR JoinPath(LPCWSTR first, LPCWSTR second, LPCWSTR third) {
  // The separator is always inserted: a first part ending in a backslash gives two in a row.
  return JoinStrings(first, TEXT("\\"), second, third, static_cast<LPCWSTR>(nullptr));
}

// ----- texts built to fit -----
namespace {

constexpr WCHAR Ellipsis = 0x2026;  // "…"

// Appends text[from, to) to the output at `out`.
LPWSTR Append(LPWSTR out, LPCWSTR from, LPCWSTR to) {
  while (from < to) *out++ = *from++;
  return out;
}

// Shortens text[start, end) in the middle so that the whole text is `room` characters at most;
// false when that part is too short to give up enough.
bool ShortenPart(LPWSTR destination, size_t room, LPCWSTR text, size_t length, size_t start,
                 size_t end) {
  size_t part = end - start;
  size_t excess = length - room;
  if (part < excess + 1) return false;
  size_t keep = part - excess - 1;  // one for the ellipsis
  size_t head = (keep + 1) / 2;
  size_t tail = keep - head;
  if (head != 0 && HighSurrogate(text[start + head - 1])) --head;
  if (tail != 0 && LowSurrogate(text[end - tail])) --tail;
  LPWSTR out = Append(destination, text, text + start + head);
  *out++ = Ellipsis;
  out = Append(out, text + end - tail, text + length);
  *out = 0;
  return true;
}

}  // namespace

void FitText(LPWSTR destination, size_t capacity, LPCWSTR text) {
  if (!CapacityValid(capacity) || !destination) return;
  if (!text) text = TEXT("");
  size_t length = static_cast<size_t>(lstrlenW(text));
  size_t room = capacity - 1;
  if (length <= room) {
    Append(destination, text, text + length)[0] = 0;
    return;
  }
  // The quoted part: from the first "'" to the last one.
  size_t first = length, last = length;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] != '\'') continue;
    if (first == length) first = i;
    last = i;
  }
  if (first < last && ShortenPart(destination, room, text, length, first + 1, last)) return;
  if (room != 0 && ShortenPart(destination, room, text, length, 0, length)) return;
  destination[0] = 0;
}

void FormatToFitArgs(LPWSTR destination, size_t capacity, LPCWSTR format, va_list arguments) {
  // Large enough for any argument of a command line (32,767 characters) and the text around it.
  constexpr size_t WorkCapacity = 0x10000;
  LocalBlock<WCHAR> work(AllocZeroedChars(WorkCapacity));
  if (!work) {
    BoundedFormatArgs(destination, capacity, format, arguments);
    return;
  }
  BoundedFormatArgs(work.Get(), WorkCapacity, format, arguments);
  FitText(destination, capacity, work.Get());
}

void FormatToFit(LPWSTR destination, size_t capacity, LPCWSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  FormatToFitArgs(destination, capacity, format, arguments);
  va_end(arguments);
}
