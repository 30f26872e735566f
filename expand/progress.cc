#include "progress.h"

#include <cinttypes>
#include <cstdio>

#include "../platform/os.h"

bool ProgressShown = true;

void progressCount(const char* label, uint64_t count) {
  if (ProgressShown) printf("%s%" PRIu64 "\n", label, count);
}

void progressWide(const char* format, const char16_t* text) {
  if (ProgressShown) printWide(format, text);
}

void progressBytes(const char* before, const char* name, size_t length, const char* after) {
  if (!ProgressShown) return;
  fputs(before, stdout);
  fwrite(name, 1, length, stdout);
  fputs(after, stdout);
}
