#include "narrow_print.h"

#include <cstdio>
#include <cstring>

#include "full_path.h"

bool allAtMost(const char16_t* text, char16_t highest) {
  for (; *text != 0; ++text) {
    if (*text > highest) return false;
  }
  return true;
}

void printNarrowed(const char* format, const char16_t* text, char16_t highest) {
  // The line is built in `line` and goes out in one write when it fits.
  char line[4096];
  size_t length = 0;
  const char* rest = format;
  // The formats are short fixed texts; the prefix always fits.
  while (!(rest[0] == '%' && rest[1] == 's') && length < sizeof line) line[length++] = *rest++;
  rest += 2;
  size_t suffix = strlen(rest);
  for (size_t left = wideLength(text); left > 0;) {
    size_t room = sizeof line - length;
    if (room == 0) {
      fwrite(line, 1, length, stdout);
      length = 0;
      room = sizeof line;
    }
    size_t piece = left < room ? left : room;
    // No other test in this loop, so that it narrows many characters at once.
    for (size_t at = 0; at < piece; ++at) {
      line[length + at] = text[at] <= highest ? static_cast<char>(text[at]) : '?';
    }
    length += piece;
    text += piece;
    left -= piece;
  }
  if (suffix <= sizeof line - length) {
    memcpy(line + length, rest, suffix);
    length += suffix;
    suffix = 0;
  }
  fwrite(line, 1, length, stdout);
  if (suffix > 0) fwrite(rest, 1, suffix, stdout);
}
