// The records' text: the printf conversion parser and the cut at a whole character.
#include "support/log_format.h"

#include <cstring>

#include "support/strings.h"

namespace {

// Room for a piece's worth of wide text in the system's ANSI code page or in UTF-8 (at most
// three bytes a character in either).
constexpr int ConvertedCapacity = LogPieceCapacity * 3;

// Whether a byte starts a two-byte character of the system's ANSI code page: the lead-byte
// ranges of the double-byte code pages (932 Japanese, 936 and 950 Chinese, 949 Korean); the other
// ANSI code pages have one byte a character, and UTF-8 is judged by its own rule.
bool AnsiLeadByte(UINT ansiCodePage, BYTE byte) {
  switch (ansiCodePage) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

// The longest start of `text` (of `length` bytes) of at most `bound` bytes that ends after a
// whole character of the code page.
size_t WholePrefix(LPCSTR text, size_t length, size_t bound, UINT codePage) {
  if (bound >= length) return length;
  UINT page = codePage == CP_ACP ? GetACP() : codePage;
  if (page == CP_UTF8) {
    // Back to the first byte of the character the bound falls in.
    size_t end = bound;
    while (end > 0 && (static_cast<BYTE>(text[end]) & 0xC0) == 0x80) --end;
    return end;
  }
  size_t end = 0;
  while (end < bound) {
    size_t next = end + (AnsiLeadByte(page, static_cast<BYTE>(text[end])) ? 2 : 1);
    if (next > bound) break;
    end = next;
  }
  return end;
}

// "…" in the code page, or "..." where the ANSI code page has no such character.
void CutMark(UINT codePage, LPSTR mark, int capacity) {
  BoundedFormat(mark, static_cast<size_t>(capacity), "%s", "...");
  const WCHAR ellipsis[] = {0x2026, 0};
  CHAR converted[8] = {};
  BOOL usedDefault = FALSE;
  // UTF-8 has every character and takes no question about a default one.
  UINT page = codePage == CP_ACP ? GetACP() : codePage;
  int bytes = WideCharToMultiByte(codePage, 0, ellipsis, 1, converted, sizeof converted - 1,
                                  nullptr, page == CP_UTF8 ? nullptr : &usedDefault);
  if (bytes > 0 && bytes < capacity && !usedDefault) {
    converted[bytes] = 0;
    BoundedFormat(mark, static_cast<size_t>(capacity), "%s", converted);
  }
}

// Appends `argument` formatted by `format`, a single conversion taking one argument.
template <class Argument>
void AppendConversion(const Piece& piece, LPCSTR format, Argument argument) {
  CHAR converted[LogPieceCapacity * Utf8Scale + 1];
  converted[0] = 0;
  BoundedFormat(converted, sizeof converted, format, argument);
  AppendWhole(piece.text, static_cast<size_t>(piece.capacity), converted, piece.codePage);
}

// Appends wide text (at most `limit` characters; -1: all) rendered in the piece's code page (in
// the ANSI one a character the code page lacks becomes its default character), laid out by the
// flags and width of `format`.
void AppendWideText(const Piece& piece, LPCSTR format, LPCWSTR text, int limit) {
  if (!text) {
    AppendConversion(piece, format, static_cast<LPCSTR>(nullptr));
    return;
  }
  int length = 0;
  while (text[length] && length < LogPieceCapacity && (limit < 0 || length < limit)) ++length;
  // A text longer than a piece ends before a surrogate pair it would split.
  if (length == LogPieceCapacity && text[length] && length > 0 && text[length - 1] >= 0xD800 &&
      text[length - 1] <= 0xDBFF)
    --length;
  CHAR converted[ConvertedCapacity + 1];
  int bytes = length == 0 ? 0
                          : WideCharToMultiByte(piece.codePage, 0, text, length, converted,
                                                ConvertedCapacity, nullptr, nullptr);
  converted[bytes > 0 ? bytes : 0] = 0;
  AppendConversion(piece, format, static_cast<LPCSTR>(converted));
}

// Appends ANSI text: as it is to an ANSI piece, converted to a UTF-8 one.
void AppendAnsiText(const Piece& piece, LPCSTR format, LPCSTR text) {
  if (!text || piece.codePage == CP_ACP) {
    AppendConversion(piece, format, text);
    return;
  }
  WCHAR wide[LogPieceCapacity];
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, LogPieceCapacity);
  if (length <= 0) {  // longer than a piece: the piece keeps what fits
    length = MultiByteToWideChar(CP_ACP, 0, text, LogPieceCapacity - 1, wide, LogPieceCapacity - 1);
    length = length > 0 ? length : 0;
    wide[length] = 0;
  }
  AppendWideText(piece, format, wide, -1);
}

// Appends one ANSI character.
void AppendCharacter(const Piece& piece, CHAR character) {
  CHAR text[2] = {character, 0};
  AppendWhole(piece.text, static_cast<size_t>(piece.capacity), text, piece.codePage);
}

}  // namespace

bool AppendWhole(LPSTR destination, size_t capacity, LPCSTR source, UINT codePage) {
  size_t present = std::strlen(destination);
  size_t length = std::strlen(source);
  if (present + length < capacity) {
    std::memcpy(destination + present, source, length + 1);
    return false;
  }
  CHAR mark[8];
  CutMark(codePage, mark, sizeof mark);
  size_t markLength = std::strlen(mark);
  if (present + markLength >= capacity) return true;
  size_t keep = WholePrefix(source, length, capacity - 1 - present - markLength, codePage);
  std::memcpy(destination + present, source, keep);
  std::memcpy(destination + present + keep, mark, markLength + 1);
  return true;
}

void FormatPiece(const Piece& piece, LPCSTR format, va_list arguments) {
  piece.text[0] = 0;
  va_list args;
  va_copy(args, arguments);
  for (LPCSTR f = format; *f;) {
    if (*f != '%' || f[1] == '%') {
      AppendCharacter(piece, *f);
      f += *f == '%' ? 2 : 1;
      continue;
    }
    ++f;
    // The conversion is taken apart: flags and width (a '*' filled in from the arguments), the
    // precision, the argument's size and the conversion letter.
    CHAR layout[48] = "%";
    size_t used = 1;
    auto put = [&](LPCSTR text) {
      while (*text && used + 1 < sizeof layout) layout[used++] = *text++;
      layout[used] = 0;
    };
    auto number = [](CHAR* digits, size_t capacity, int value) {
      BoundedFormat(digits, capacity, "%d", value);
      return digits;
    };
    CHAR digits[16];
    while (*f && std::strchr("-+ #0", *f)) {
      CHAR flag[2] = {*f++, 0};
      put(flag);
    }
    if (*f == '*') {
      put(number(digits, sizeof digits, va_arg(args, int)));
      ++f;
    }
    while (*f >= '0' && *f <= '9') {
      CHAR digit[2] = {*f++, 0};
      put(digit);
    }
    int precision = -1;
    if (*f == '.') {
      ++f;
      int value = 0;
      if (*f == '*') {
        value = va_arg(args, int);
        ++f;
      }
      while (*f >= '0' && *f <= '9') value = value * 10 + (*f++ - '0');
      if (value >= 0) precision = value;  // a negative one from the arguments is none
    }
    enum { Default, Short, Wide, Large } size = Default;
    if (*f == 'h') {
      size = Short, ++f;
    } else if (f[0] == 'l' && f[1] == 'l') {
      size = Large, f += 2;
    } else if (*f == 'l' || *f == 'w') {
      size = Wide, ++f;
    } else if (f[0] == 'I' && f[1] == '6' && f[2] == '4') {
      size = Large, f += 3;
    } else if (f[0] == 'I' && f[1] == '3' && f[2] == '2') {
      f += 3;
    } else if (*f == 'I' || *f == 'z' || *f == 't') {
      size = sizeof(void*) == 8 ? Large : Default, ++f;
    }
    CHAR conversion = *f;
    if (!conversion) break;
    ++f;
    // The whole conversion for the runtime: layout, precision, size, letter.
    CHAR composed[64];
    auto compose = [&](LPCSTR sizeText, CHAR letter) {
      CHAR precisionText[20] = "";
      if (precision >= 0) BoundedFormat(precisionText, sizeof precisionText, ".%d", precision);
      BoundedFormat(composed, sizeof composed, "%s%s%s%c", layout, precisionText, sizeText, letter);
      return static_cast<LPCSTR>(composed);
    };
    CHAR textFormat[52];
    BoundedFormat(textFormat, sizeof textFormat, "%ss", layout);  // converted text: layout only
    switch (conversion) {
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        if (size == Large)
          AppendConversion(piece, compose("I64", conversion), va_arg(args, long long));
        else
          AppendConversion(piece, compose(size == Short ? "h" : "", conversion), va_arg(args, int));
        break;
      case 'p':
        AppendConversion(piece, compose("", 'p'), va_arg(args, void*));
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        AppendConversion(piece, compose("", conversion), va_arg(args, double));
        break;
      case 's':
      case 'S':
        if (size == Wide || (conversion == 'S' && size != Short))
          AppendWideText(piece, textFormat, va_arg(args, LPCWSTR), precision);
        else
          AppendAnsiText(piece, compose("", 's'), va_arg(args, LPCSTR));
        break;
      case 'c':
      case 'C': {
        int value = va_arg(args, int);
        if (size == Wide || (conversion == 'C' && size != Short)) {
          WCHAR character[2] = {static_cast<WCHAR>(value), 0};
          AppendWideText(piece, textFormat, character, 1);
        } else {
          CHAR character[2] = {static_cast<CHAR>(value), 0};
          AppendAnsiText(piece, textFormat, static_cast<LPCSTR>(character));
        }
        break;
      }
      case 'n':
        (void)va_arg(args, void*);  // stores nothing, as the runtime refuses it
        break;
      default:
        AppendCharacter(piece, conversion);  // an unknown conversion prints its letter
        break;
    }
  }
  va_end(args);
}
