// Bounded strings (capacity-checked format, copy, concatenate, measure, with strsafe result
// codes) and heap strings (zeroed local-heap blocks, released with FreeString or owned by a
// HeapString).
#pragma once

#include <cstddef>

#include "platform/win32.h"
#include "support/handles.h"

// Largest valid capacity or bound, in characters.
inline constexpr size_t MaxStringCapacity = 0x7FFFFFFF;

// ----- wide bounded functions (capacity in wide characters, terminator included) -----
HRESULT BoundedFormat(LPWSTR destination, size_t capacity, LPCWSTR format, ...);
HRESULT BoundedFormatArgs(LPWSTR destination, size_t capacity, LPCWSTR format, va_list arguments);
HRESULT BoundedCopy(LPWSTR destination, size_t capacity, LPCWSTR source);
HRESULT BoundedLength(LPCWSTR text, size_t bound, size_t* length);
HRESULT BoundedByteLength(LPCWSTR text, size_t boundBytes, size_t* lengthBytes);
// Bytes of a wide text with its terminator. A missing or unterminated text is a programming error.
size_t StringByteSize(LPCWSTR text);

// ----- ANSI bounded functions (capacity in bytes, terminator included) -----
HRESULT BoundedFormatArgs(LPSTR destination, size_t capacity, LPCSTR format, va_list arguments);
HRESULT BoundedFormat(LPSTR destination, size_t capacity, LPCSTR format, ...);
HRESULT BoundedConcat(LPSTR destination, size_t capacity, LPCSTR source);
HRESULT BoundedLength(LPCSTR text, size_t bound, size_t* length);

// ----- heap strings -----
LPWSTR AllocZeroedChars(size_t count);
LPWSTR DuplicateString(LPCWSTR text);
void FreeString(LPWSTR block);
// Owns a heap string.
using HeapString = LocalBlock<WCHAR>;
// Concatenates wide texts; the list ends with a nullptr.
LPWSTR JoinStrings(LPCWSTR first, ...);
// first + "\" + second (+ third, when given).
LPWSTR JoinPath(LPCWSTR first, LPCWSTR second, LPCWSTR third);

// ----- texts built to fit -----
// Copies a text that fits as it is. One too long keeps its beginning and end: the quoted part
// (from the first "'" to the last) is shortened in the middle with "…", or, when that cannot give
// enough, the whole text is. No surrogate pair is ever split.
void FitText(LPWSTR destination, size_t capacity, LPCWSTR text);
// Formats in full, then fits the text into the destination as FitText does.
void FormatToFitArgs(LPWSTR destination, size_t capacity, LPCWSTR format, va_list arguments);
void FormatToFit(LPWSTR destination, size_t capacity, LPCWSTR format, ...);
