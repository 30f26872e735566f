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
  const char* conversion = strstr(format, "%s");
  fwrite(format, 1, static_cast<size_t>(conversion - format), stdout);
  // Whole pieces, so that the narrowing loop has no other test in it.
  char piece[4096];
  size_t left = wideLength(text);
  while (left > 0) {
    size_t length = left < sizeof piece ? left : sizeof piece;
    for (size_t at = 0; at < length; ++at) {
      piece[at] = text[at] <= highest ? static_cast<char>(text[at]) : '?';
    }
    fwrite(piece, 1, length, stdout);
    text += length;
    left -= length;
  }
  fputs(conversion + 2, stdout);
}
