// The runtime library's counted printf, as the Microsoft runtime (msvcrt) behaves:
//  - at most `count` characters are written; the terminator is written only when there is room
//    for it, so a text that fills the count exactly is left unterminated and `count` is returned;
//  - a text longer than the count gets its first `count` characters written and -1 returned;
//  - "%s" and "%c" take the format's own width of text (wide in wide formats, ANSI in ANSI ones),
//    "%S" and "%C" the other one, "%ws"/"%ls"/"%wc"/"%lc" are always wide and "%hs"/"%hc" always
//    ANSI. Text of the other width is converted by the runtime in its own locale, which is "C"
//    unless the program calls setlocale (none of ours does), not in the system's code page: a byte
//    becomes the character of the same value and back. A wide character above U+00FF has no byte
//    in the "C" locale: the conversion fails, the output stops before that argument (what came
//    before is kept and terminated when there is room) and the call returns -1. A single wide
//    character ("%wc", "%C") that cannot be converted is left out and the output goes on;
//  - "%l" on integers is 32-bit (long is 32-bit on Windows), "%I64"/"%ll" 64-bit, "%I" pointer
//    sized; "%p" prints the pointer as uppercase hex, zero-filled to the pointer's width;
//  - a null string argument prints "(null)";
//  - "%n" is refused (the runtime disables it): nothing is stored and nothing is printed.
// Flags, width and precision are honoured for the common cases.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/sim/sim.h"

namespace {

struct Field {
  bool left = false, plus = false, space = false, alternate = false, zero = false;
  int width = 0;
  int precision = -1;  // -1: not given
  enum Size { kDefault, kShort, kLong32, kLong64, kPointer, kWide, kNarrow } size = kDefault;
};

// The formatter works on UTF-16 or UTF-8 output alike; Text is the output string type.
template <class Char>
struct Traits;
template <>
struct Traits<char16_t> {
  using Text = std::u16string;
  static constexpr bool kWide = true;
  static bool FromWide(const char16_t* s, size_t n, Text* out) {
    out->assign(s, n);
    return true;
  }
  static bool FromNarrow(const char* s, size_t n, Text* out) {
    out->clear();
    for (size_t i = 0; i < n; ++i) *out += static_cast<char16_t>(static_cast<unsigned char>(s[i]));
    return true;
  }
};
template <>
struct Traits<char> {
  using Text = std::string;
  static constexpr bool kWide = false;
  static bool FromWide(const char16_t* s, size_t n, Text* out) {
    out->clear();
    for (size_t i = 0; i < n; ++i) {
      if (s[i] > 0xFF) return false;  // no byte for it in the "C" locale
      *out += static_cast<char>(s[i]);
    }
    return true;
  }
  static bool FromNarrow(const char* s, size_t n, Text* out) {
    out->assign(s, n);
    return true;
  }
};

template <class Char>
typename Traits<Char>::Text Ascii(const std::string& s) {
  return typename Traits<Char>::Text(s.begin(), s.end());
}

template <class Char>
void Pad(typename Traits<Char>::Text* out, const typename Traits<Char>::Text& body,
         const Field& field, bool zeroFill = false, size_t signLength = 0) {
  size_t width = field.width > 0 ? static_cast<size_t>(field.width) : 0;
  if (body.size() >= width) {
    *out += body;
  } else if (field.left) {
    *out += body;
    out->append(width - body.size(), Char(' '));
  } else if (zeroFill) {
    // Zeros go between the sign (or 0x) and the digits.
    *out += body.substr(0, signLength);
    out->append(width - body.size(), Char('0'));
    *out += body.substr(signLength);
  } else {
    out->append(width - body.size(), Char(' '));
    *out += body;
  }
}

std::string Digits(uint64_t value, int base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string s;
  do {
    s.insert(s.begin(), digits[value % base]);
    value /= base;
  } while (value);
  return s;
}

template <class Char>
void Integer(typename Traits<Char>::Text* out, const Field& field, char conversion, va_list* args) {
  bool isSigned = conversion == 'd' || conversion == 'i';
  uint64_t magnitude = 0;
  bool negative = false;
  if (field.size == Field::kLong64 || (field.size == Field::kPointer && sizeof(void*) == 8)) {
    if (isSigned) {
      int64_t v = va_arg(*args, long long);
      negative = v < 0;
      magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    } else {
      magnitude = va_arg(*args, unsigned long long);
    }
  } else {
    // int, short and Windows' 32-bit long all travel as int through the variadic list.
    if (isSigned) {
      int32_t v = va_arg(*args, int);
      if (field.size == Field::kShort) v = static_cast<int16_t>(v);
      negative = v < 0;
      magnitude =
          negative ? 0 - static_cast<uint64_t>(static_cast<int64_t>(v)) : static_cast<uint64_t>(v);
    } else {
      uint32_t v = va_arg(*args, unsigned int);
      if (field.size == Field::kShort) v = static_cast<uint16_t>(v);
      magnitude = v;
    }
  }
  int base = conversion == 'o' ? 8 : (conversion == 'x' || conversion == 'X') ? 16 : 10;
  std::string digits = Digits(magnitude, base, conversion == 'X');
  if (field.precision == 0 && magnitude == 0) digits.clear();
  if (field.precision > 0 && digits.size() < static_cast<size_t>(field.precision))
    digits.insert(0, static_cast<size_t>(field.precision) - digits.size(), '0');
  std::string prefix;
  if (isSigned) {
    if (negative)
      prefix = "-";
    else if (field.plus)
      prefix = "+";
    else if (field.space)
      prefix = " ";
  } else if (field.alternate && magnitude != 0) {
    if (base == 16) prefix = conversion == 'X' ? "0X" : "0x";
    if (base == 8 && digits[0] != '0') prefix = "0";
  }
  bool zeroFill = field.zero && !field.left && field.precision < 0;
  Pad<Char>(out, Ascii<Char>(prefix + digits), field, zeroFill, prefix.size());
}

// String and Character return false when the argument cannot be converted to the format's width.
template <class Char>
bool String(typename Traits<Char>::Text* out, const Field& field, bool wide, va_list* args) {
  using T = Traits<Char>;
  typename T::Text body;
  const void* p = va_arg(*args, const void*);
  if (!p) {
    body = Ascii<Char>("(null)");
  } else if (wide) {
    auto s = static_cast<const char16_t*>(p);
    size_t n = 0;
    // With a precision, the argument need not be terminated beyond it.
    while ((field.precision < 0 || n < static_cast<size_t>(field.precision)) && s[n]) ++n;
    if (!T::FromWide(s, n, &body)) return false;
  } else {
    auto s = static_cast<const char*>(p);
    size_t n = 0;
    while ((field.precision < 0 || n < static_cast<size_t>(field.precision)) && s[n]) ++n;
    T::FromNarrow(s, n, &body);
  }
  if (field.precision >= 0 && body.size() > static_cast<size_t>(field.precision))
    body.resize(static_cast<size_t>(field.precision));
  Pad<Char>(out, body, field);
  return true;
}

template <class Char>
bool Character(typename Traits<Char>::Text* out, const Field& field, bool wide, va_list* args) {
  using T = Traits<Char>;
  int value = va_arg(*args, int);
  typename T::Text body;
  if (wide) {
    // A single character the "C" locale cannot hold is left out, padding and all; the output
    // goes on.
    char16_t c = static_cast<char16_t>(value);
    if (!T::FromWide(&c, 1, &body)) return true;
  } else {
    char c = static_cast<char>(value);
    T::FromNarrow(&c, 1, &body);
  }
  Pad<Char>(out, body, field);
  return true;
}

template <class Char>
void Floating(typename Traits<Char>::Text* out, const Field& field, char conversion,
              va_list* args) {
  double value = va_arg(*args, double);
  std::string format = "%";
  if (field.left) format += '-';
  if (field.plus) format += '+';
  if (field.space) format += ' ';
  if (field.alternate) format += '#';
  if (field.zero) format += '0';
  if (field.width > 0) format += std::to_string(field.width);
  if (field.precision >= 0) format += "." + std::to_string(field.precision);
  format += conversion;
  char buffer[512];
  int n = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
  if (n < 0) return;
  *out +=
      Ascii<Char>(std::string(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1)));
}

// Reads a width or precision: digits, or '*' taken from the arguments.
template <class Char>
int Number(const Char** cursor, va_list* args, bool* fromArgument) {
  *fromArgument = false;
  if (**cursor == Char('*')) {
    ++*cursor;
    *fromArgument = true;
    return va_arg(*args, int);
  }
  long long n = 0;
  while (**cursor >= Char('0') && **cursor <= Char('9')) {
    if (n < 0x7FFFFFFF) n = n * 10 + (**cursor - Char('0'));
    ++*cursor;
  }
  return static_cast<int>(std::min<long long>(n, 0x7FFFFFFF));
}

// Formats the whole text; the caller applies the count. A conversion that fails ends the text
// there and clears *complete.
template <class Char>
typename Traits<Char>::Text Render(const Char* format, va_list* args, bool* complete) {
  *complete = true;
  using T = Traits<Char>;
  typename T::Text out;
  for (const Char* f = format; *f;) {
    if (*f != Char('%')) {
      out += *f++;
      continue;
    }
    ++f;
    if (*f == Char('%')) {
      out += *f++;
      continue;
    }
    Field field;
    for (;; ++f) {
      if (*f == Char('-'))
        field.left = true;
      else if (*f == Char('+'))
        field.plus = true;
      else if (*f == Char(' '))
        field.space = true;
      else if (*f == Char('#'))
        field.alternate = true;
      else if (*f == Char('0'))
        field.zero = true;
      else
        break;
    }
    bool star = false;
    field.width = Number(&f, args, &star);
    if (field.width < 0) {  // a negative '*' width means left-justified
      field.left = true;
      field.width = field.width == INT32_MIN ? 0x7FFFFFFF : -field.width;
    }
    if (*f == Char('.')) {
      ++f;
      field.precision = Number(&f, args, &star);
      if (field.precision < 0) field.precision = -1;
    }
    if (*f == Char('h')) {
      field.size = Field::kShort, ++f;
    } else if (*f == Char('l')) {
      ++f;
      if (*f == Char('l'))
        field.size = Field::kLong64, ++f;
      else
        field.size = Field::kLong32;
    } else if (*f == Char('w')) {
      field.size = Field::kWide, ++f;
    } else if (*f == Char('I')) {
      ++f;
      if (f[0] == Char('6') && f[1] == Char('4'))
        field.size = Field::kLong64, f += 2;
      else if (f[0] == Char('3') && f[1] == Char('2'))
        field.size = Field::kLong32, f += 2;
      else
        field.size = Field::kPointer;
    } else if (*f == Char('z') || *f == Char('t')) {
      field.size = Field::kPointer, ++f;
    }
    if (!*f) break;  // a format ending inside a conversion prints nothing more
    Char c = *f++;
    switch (c) {
      case Char('d'):
      case Char('i'):
      case Char('u'):
      case Char('x'):
      case Char('X'):
      case Char('o'):
        Integer<Char>(&out, field, static_cast<char>(c), args);
        break;
      case Char('p'): {
        uintptr_t value = reinterpret_cast<uintptr_t>(va_arg(*args, void*));
        std::string digits = Digits(value, 16, true);
        digits.insert(0, sizeof(void*) * 2 - digits.size(), '0');
        Pad<Char>(&out, Ascii<Char>(digits), field);
        break;
      }
      case Char('s'):
      case Char('S'): {
        bool wide = field.size == Field::kWide || field.size == Field::kLong32 ? true
                    : field.size == Field::kShort                              ? false
                                                  : (c == Char('s')) == T::kWide;
        if (!String<Char>(&out, field, wide, args)) {
          *complete = false;
          return out;
        }
        break;
      }
      case Char('c'):
      case Char('C'): {
        bool wide = field.size == Field::kWide || field.size == Field::kLong32 ? true
                    : field.size == Field::kShort                              ? false
                                                  : (c == Char('c')) == T::kWide;
        if (!Character<Char>(&out, field, wide, args)) {
          *complete = false;
          return out;
        }
        break;
      }
      case Char('f'):
      case Char('F'):
      case Char('e'):
      case Char('E'):
      case Char('g'):
      case Char('G'):
      case Char('a'):
      case Char('A'):
        Floating<Char>(&out, field, static_cast<char>(c), args);
        break;
      case Char('n'):
        (void)va_arg(*args, void*);  // refused: nothing is stored
        break;
      default:
        out += c;  // an unknown conversion prints its letter
        break;
    }
  }
  return out;
}

template <class Char>
int Counted(Char* buffer, size_t count, const Char* format, va_list arguments) {
  if (!format || (!buffer && count > 0)) return -1;  // the runtime's invalid-parameter result
  va_list args;
  va_copy(args, arguments);
  bool complete = true;
  auto text = Render(format, &args, &complete);
  va_end(args);
  if (!complete) {
    size_t kept = std::min(text.size(), count);
    if (kept) std::memcpy(buffer, text.data(), kept * sizeof(Char));
    if (kept < count) buffer[kept] = Char(0);
    return -1;
  }
  if (text.size() > count) {
    if (count) std::memcpy(buffer, text.data(), count * sizeof(Char));
    return -1;
  }
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size() * sizeof(Char));
  if (text.size() < count) buffer[text.size()] = Char(0);
  return static_cast<int>(text.size());
}

}  // namespace

int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list arguments) {
  return Counted<char16_t>(buffer, count, format, arguments);
}

int _vsnprintf(char* buffer, size_t count, const char* format, va_list arguments) {
  return Counted<char>(buffer, count, format, arguments);
}

int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = _vsnwprintf(buffer, count, format, arguments);
  va_end(arguments);
  return result;
}
