// Progress lines: one fixed format around one text.
#ifndef TUFLAT_PLATFORM_PRINT_LINE_H
#define TUFLAT_PLATFORM_PRINT_LINE_H

#include <cstddef>

// Prints `format`, a short fixed text whose only conversion is one %s, with
// text[0, length) in its place: one write to standard output when it fits.
void printLine(const char* format, const char* text, size_t length);

// Such a format's parts: format[0, prefix) before the %s, and the suffix after.
struct LineFormat {
  size_t prefix;
  const char* suffix;
  size_t suffixLength;
};
LineFormat splitFormat(const char* format);

// Room for `count` bytes in a block owned by the caller's layer, grown as
// needed and kept; null when no memory can be had.
char* textRoom(size_t count);

#endif
