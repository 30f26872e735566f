// What a run says on standard error: why it could not start, and what it could
// not put into its output.
#ifndef TUFLAT_EXPAND_DIAGNOSTICS_H
#define TUFLAT_EXPAND_DIAGNOSTICS_H

#include <cstdint>

#include "../platform/winapi.h"

// One line "tuflat: " + the formatted text, after whatever standard output holds.
void complain(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Anything recorded by these makes the run end with status 2.
void noteWriteFailure(DWORD error, uint64_t bytesLost);
void noteUnreadFile(const char16_t* path, uint64_t bytesRead, uint64_t size);
void noteTooDeep();
// Prints the one line and returns 1 when anything was lost, else returns 0.
int reportLosses();

#endif
