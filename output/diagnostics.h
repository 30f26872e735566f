// What a run says on standard error: why it could not start, and what it could
// not put into its output.
#ifndef TUFLAT_OUTPUT_DIAGNOSTICS_H
#define TUFLAT_OUTPUT_DIAGNOSTICS_H

#include <cstdint>

#include "../platform/winapi.h"

// One line "tuflat: " + the formatted text, after whatever standard output holds.
void complain(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Opens the file `name`, shared with every other opener. When it cannot,
// says "cannot open (or, for CREATE_ALWAYS, create) the <what> '<name>'" and
// why, and returns INVALID_HANDLE_VALUE.
HANDLE openOrComplain(const char* name, DWORD access, DWORD disposition, const char* what);

// Anything recorded by these makes the run end with status 2. `size` is
// kUnknownSize for a stream that could not be read to its end.
void noteWriteFailure(DWORD error, uint64_t bytesLost);
void noteUnreadFile(const char16_t* path, uint64_t bytesRead, uint64_t size);
void noteTooDeep();
void noteOutputIncluded();
void noteCloseFailure(DWORD error);
// A progress line that could not be formatted (no memory): standard output
// failed, as if it had not been written.
void noteUnshownLine();
// The diagnostics that name a file and a line, in the form editors read:
// `FILE:LINE: warning: TEXT` (a note for a cycle).
enum class Diagnostic : uint8_t {
  NotFound,
  TooDeep,
  OutputFile,
  Cycle,
  OptionLine,
  // A compilation database's entry: an argument not followed, several entries.
  CompileCommand,
  // A header found beside the main source where a compiler reads another.
  SearchDiffers,
  Kinds
};
// False with --no-warnings: diagnostics are still counted, never printed.
extern bool WarningsShown;
// Counts one diagnostic of `kind`. True when its line is to be printed:
// warnings are shown and fewer than kShownDiagnostics lines have been.
constexpr uint64_t kShownDiagnostics = 20;
bool countDiagnostic(Diagnostic kind);
// Prints the line of a diagnostic that countDiagnostic let through, its text
// formatted after the severity.
void printDiagnostic(Diagnostic kind, const char* file, uint64_t line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// When lines were held back: one line with how many, and the count of every kind.
void reportUnshownDiagnostics();
// With --strict: says how many includes found no file. Returns 1 when any did.
int reportMissingIncludes();

// 1 when the output file's text cannot be whole: a write or its close
// failed, or an include named the output itself. Then an existing output is
// better left as it was.
int outputTextLost();
// Sends what standard output holds and remembers whether any of it, at any
// time, failed to go out.
void flushStandardOutput();
// Says on standard error what the output lacks (one line) and whether
// standard output failed (one more line). Returns 1 when either happened.
int reportLosses();

#endif
