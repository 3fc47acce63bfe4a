// The diagnostic records' text: a printf conversion parser that renders wide text in the record's
// own code page, and cuts that fall after a whole character. Pure functions: no state, no output.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/win32.h"

// A record is built piece by piece: each piece cut at 255 bytes, the line at 1023.
inline constexpr int LogPieceCapacity = 256;
inline constexpr int LogLineCapacity = 1024;
// The UTF-8 form of a record (the run's own log file) has three times the ANSI capacities: three
// bytes hold any character of a wide text there.
inline constexpr int Utf8Scale = 3;

// A piece being formatted: its buffer, capacity, and the code page of its text (CP_ACP for the
// ANSI record, CP_UTF8 for the run's own log file).
struct Piece {
  LPSTR text;
  int capacity;
  UINT codePage;
};

// Formats one piece of a record (cut at its capacity at a whole character) from an ANSI format,
// as the runtime's counted printf does, with one difference: wide text ("%ws", "%ls", "%S", and
// "%wc", "%lc", "%C" for a character) is rendered in the piece's code page. The runtime converts
// it in its own "C" locale instead, which has no byte for a character above U+00FF and then drops
// the rest of the piece.
void FormatPiece(const Piece& piece, LPCSTR format, va_list arguments);

// Appends `source` to the text in `destination` (`capacity` bytes, terminator included). What
// does not fit is left out at a whole character of `codePage`, and "…" marks the place; true when
// something was left out. A destination too full for the mark keeps its text as it is.
bool AppendWhole(LPSTR destination, size_t capacity, LPCSTR source, UINT codePage);
