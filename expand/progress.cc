#include "progress.h"

#include <cinttypes>
#include <cstdio>

#include "../platform/os.h"
#include "../platform/print_line.h"
#include "diagnostics.h"

bool ProgressShown = true;

void progressCount(const char* label, uint64_t count) {
  if (ProgressShown) printf("%s%" PRIu64 "\n", label, count);
}

void progressWide(const char* format, const char16_t* text) {
  if (ProgressShown && !printWide(format, text)) noteUnshownLine();
}

void progressBytes(const char* format, const char* name, size_t length) {
  if (ProgressShown) printLine(format, name, length);
}

void progressLines(const char* lines, size_t length) {
  if (ProgressShown && length > 0) fwrite(lines, 1, length, stdout);
}
