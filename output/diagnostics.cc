#include "diagnostics.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "../platform/os.h"
#include "../platform/simple_file.h"

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
uint64_t outputIncludes = 0;
bool closeFailed = false;
DWORD closeError = NO_ERROR;
bool standardOutputFailed = false;
int standardOutputError = 0;
uint64_t diagnosticCounts[static_cast<int>(Diagnostic::Kinds)];
uint64_t diagnosticsPrinted = 0;

// How the summary names each kind, counted.
constexpr const char* kDiagnosticNames[] = {"include(s) not found",
                                            "include(s) nested too deep",
                                            "include(s) of the output file",
                                            "include cycle(s)",
                                            "option line(s) ignored",
                                            "compile command warning(s)",
                                            "header(s) found where a compiler reads another"};
static_assert(sizeof kDiagnosticNames / sizeof *kDiagnosticNames ==
                  static_cast<int>(Diagnostic::Kinds),
              "every kind has a name");

}  // namespace

bool WarningsShown = true;

void flushStandardOutput() {
  if (fflush(stdout) == 0 && !ferror(stdout)) return;
  if (!standardOutputFailed) standardOutputError = errno != 0 ? errno : EIO;
  standardOutputFailed = true;
  // Later lines may still get through; the failure stays recorded.
  clearerr(stdout);
}

void noteUnshownLine() {
  if (!standardOutputFailed) standardOutputError = ENOMEM;
  standardOutputFailed = true;
}

void complain(const char* format, ...) {
  flushStandardOutput();
  fputs("tuflat: ", stderr);
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stderr, format, arguments);
  va_end(arguments);
  fputc('\n', stderr);
}

bool countDiagnostic(Diagnostic kind) {
  ++diagnosticCounts[static_cast<int>(kind)];
  return WarningsShown && diagnosticsPrinted < kShownDiagnostics;
}

void printDiagnostic(Diagnostic kind, const char* file, uint64_t line, const char* format, ...) {
  ++diagnosticsPrinted;
  flushStandardOutput();
  fprintf(stderr, "%s:%" PRIu64 ": %s: ", file, line,
          kind == Diagnostic::Cycle ? "note" : "warning");
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stderr, format, arguments);
  va_end(arguments);
  fputc('\n', stderr);
}

void reportUnshownDiagnostics() {
  uint64_t total = 0;
  for (uint64_t count : diagnosticCounts) total += count;
  if (!WarningsShown || total <= diagnosticsPrinted) return;
  flushStandardOutput();
  fprintf(stderr, "tuflat: %" PRIu64 " more warning(s) and note(s) not shown; in all:",
          total - diagnosticsPrinted);
  const char* separator = " ";
  for (int kind = 0; kind < static_cast<int>(Diagnostic::Kinds); ++kind) {
    if (diagnosticCounts[kind] == 0) continue;
    fprintf(stderr, "%s%" PRIu64 " %s", separator, diagnosticCounts[kind], kDiagnosticNames[kind]);
    separator = ", ";
  }
  fputc('\n', stderr);
}

int reportMissingIncludes() {
  uint64_t missing = diagnosticCounts[static_cast<int>(Diagnostic::NotFound)];
  if (missing == 0) return 0;
  complain("--strict: %" PRIu64 " include(s) found no file and were written !!! NO FILE !!!",
           missing);
  return 1;
}

HANDLE openOrComplain(const char* name, DWORD access, DWORD disposition, const char* what) {
  HANDLE file = CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, disposition, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    complain("cannot %s the %s '%s': %s", disposition == CREATE_ALWAYS ? "create" : "open", what,
             name, systemErrorText(GetLastError()));
  }
  return file;
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

void noteOutputIncluded() {
  ++outputIncludes;
}

void noteCloseFailure(DWORD error) {
  closeFailed = true;
  closeError = error;
}

int outputTextLost() {
  return writeFailures > 0 || closeFailed || outputIncludes > 0;
}

int reportLosses() {
  flushStandardOutput();
  bool outputIncomplete = writeFailures > 0 || unreadFiles > 0 || tooDeepIncludes > 0 ||
                          outputIncludes > 0 || closeFailed;
  if (outputIncomplete) {
    fputs("tuflat: the output is incomplete:", stderr);
    const char* separator = " ";
    if (writeFailures > 0) {
      fprintf(stderr, "%s%" PRIu64 " bytes could not be written (%s)", separator, bytesNotWritten,
              systemErrorText(firstWriteError));
      separator = "; ";
    }
    if (closeFailed) {
      fprintf(stderr, "%sclosing it failed (%s)", separator, systemErrorText(closeError));
      separator = "; ";
    }
    if (unreadFiles > 0) {
      fprintf(stderr, "%s%" PRIu64 " file(s) could not be read whole, the first %s (", separator,
              unreadFiles, firstUnreadPath);
      if (firstUnreadSize == kUnknownSize) {
        fprintf(stderr, "%" PRIu64 " bytes read, not to its end)", firstUnreadBytes);
      } else {
        fprintf(stderr, "%" PRIu64 " of %" PRIu64 " bytes read)", firstUnreadBytes,
                firstUnreadSize);
      }
      separator = "; ";
    }
    if (tooDeepIncludes > 0) {
      fprintf(stderr, "%s%" PRIu64 " include(s) nested too deep were not expanded", separator,
              tooDeepIncludes);
      separator = "; ";
    }
    if (outputIncludes > 0) {
      fprintf(stderr,
              "%s%" PRIu64 " include(s) named the output file itself, whose text is not in it",
              separator, outputIncludes);
    }
    fputc('\n', stderr);
  }
  if (standardOutputFailed) {
    fprintf(stderr, "tuflat: standard output could not be written (%s)\n",
            strerror(standardOutputError));
  }
  return outputIncomplete || standardOutputFailed;
}
