#include "diagnostics.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "../platform/os.h"

namespace {

uint64_t writeFailures = 0;
uint64_t bytesNotWritten = 0;
DWORD firstWriteError = NO_ERROR;
uint64_t unreadFiles = 0;
// The first unread file's path, as narrow text for the message.
char firstUnreadPath[1024];
uint64_t firstUnreadBytes = 0;
uint64_t firstUnreadSize = 0;
uint64_t tooDeepIncludes = 0;

}  // namespace

void complain(const char* format, ...) {
  fflush(stdout);
  fputs("tuflat: ", stderr);
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stderr, format, arguments);
  va_end(arguments);
  fputc('\n', stderr);
}

void noteWriteFailure(DWORD error, uint64_t bytesLost) {
  if (writeFailures++ == 0) firstWriteError = error;
  bytesNotWritten += bytesLost;
}

void noteUnreadFile(const char16_t* path, uint64_t bytesRead, uint64_t size) {
  if (unreadFiles++ > 0) return;
  firstUnreadBytes = bytesRead;
  firstUnreadSize = size;
  if (WideCharToMultiByte(CP_OEMCP, 0, path, -1, firstUnreadPath, sizeof firstUnreadPath, nullptr,
                          nullptr) == 0) {
    snprintf(firstUnreadPath, sizeof firstUnreadPath, "(a path too long to show)");
  }
}

void noteTooDeep() {
  ++tooDeepIncludes;
}

int reportLosses() {
  if (writeFailures == 0 && unreadFiles == 0 && tooDeepIncludes == 0) return 0;
  fflush(stdout);
  fputs("tuflat: the output is incomplete:", stderr);
  const char* separator = " ";
  if (writeFailures > 0) {
    fprintf(stderr, "%s%" PRIu64 " bytes could not be written (%s)", separator, bytesNotWritten,
            systemErrorText(firstWriteError));
    separator = "; ";
  }
  if (unreadFiles > 0) {
    fprintf(stderr,
            "%s%" PRIu64 " file(s) could not be read whole, the first %s (%" PRIu64 " of %" PRIu64
            " bytes read)",
            separator, unreadFiles, firstUnreadPath, firstUnreadBytes, firstUnreadSize);
    separator = "; ";
  }
  if (tooDeepIncludes > 0) {
    fprintf(stderr, "%s%" PRIu64 " include(s) nested too deep were not expanded", separator,
            tooDeepIncludes);
  }
  fputc('\n', stderr);
  return 1;
}
