#include "progress.h"

#include <cstdio>

#include "../platform/os.h"
#include "../platform/print_line.h"
#include "diagnostics.h"

bool ProgressShown = true;

void progressCount(const char* format, uint64_t count) {
  if (!ProgressShown) return;
  // Formatted here: one of these follows every file, and printf costs more
  // than the rest of the line's way out.
  char digits[20];
  size_t start = sizeof digits;
  do {
    digits[--start] = static_cast<char>('0' + count % 10);
    count /= 10;
  } while (count > 0);
  printLine(format, digits + start, sizeof digits - start);
}

void progressWide(const char* format, const char16_t* text) {
  if (!ProgressShown) return;
  size_t length = 0;
  const char* shown = printableText(text, &length);
  if (shown == nullptr) {
    noteUnshownLine();
    return;
  }
  printLine(format, shown, length);
}

void progressBytes(const char* format, const char* name, size_t length) {
  if (ProgressShown) printLine(format, name, length);
}

void progressLines(const char* lines, size_t length) {
  if (ProgressShown && length > 0) fwrite(lines, 1, length, stdout);
}
