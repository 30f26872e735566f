// The few services that are not single Windows calls, provided by each
// operating-system layer.
#ifndef TUFLAT_PLATFORM_OS_H
#define TUFLAT_PLATFORM_OS_H

#include <cstddef>
#include <cstdint>

#include "winapi.h"

// What makes a file itself, whatever name reached it.
struct FileIdentity {
  uint64_t volume;
  uint64_t index;
};

inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}

// 1 and the identity of the open file, or 0 when the system cannot tell.
int getFileIdentity(HANDLE file, FileIdentity* identity);

// 1 when the open file is a regular file: not a directory, a device, a pipe
// or a console.
int isRegularFile(HANDLE file);

// Until called again, an interruption of the process (Ctrl-C, a request to
// end it) first removes the file `name`, then ends the process as the
// interruption would have; null stops it. The name is copied. Returns 0,
// doing nothing, when the name is too long to keep.
int removeOnInterruption(const char* name);

// One piece of a write made of many.
struct OutputSpan {
  const void* bytes;
  uint64_t count;
};

// Writes spans[0, count) to the file in order, as one stream of bytes, in as
// few system calls as the platform allows. Returns how many bytes went out;
// it stops at the first failure, whose code GetLastError then gives.
uint64_t writeSpans(HANDLE file, const OutputSpan* spans, uint32_t count);

// Makes the process safe to start: standard input, output and error are open
// (on the null device if they were closed, so that no file the run opens
// takes their place), and a write to a pipe without a reader or beyond a file
// size limit fails with an error instead of ending the process.
void prepareProcess();

// Standard output goes out in large writes to a file or a pipe, and line by
// line to a terminal, where progress should show as it happens.
void bufferStandardOutput();

// A handle of its own on standard input or output (STD_INPUT_HANDLE or
// STD_OUTPUT_HANDLE), which the caller closes; INVALID_HANDLE_VALUE when
// none can be had.
HANDLE copyStandardHandle(DWORD which);

// From now on, what the process prints on standard output goes to standard
// error, so that standard output carries only what is written to a copy of
// its handle. Called before anything is printed; bufferStandardOutput then
// buffers the new stream.
void printToStandardError();

// The bytes a progress line shows for `text`, converted to the OEM code
// page, *length of them, in a block that stays valid until the next call;
// null when they cannot be had (no memory).
const char* printableText(const char16_t* text, size_t* length);

// The platform's own spelling of a path resolved by resolveFullPath, for
// tools and editors: written into `native`, which has room for the resolved
// path's length plus one. On Linux `\\?\Z:\home\me\b.h` is `/home/me/b.h`;
// on Windows the prefix goes (`\\?\UNC\` becomes `\\`). Returns the length.
size_t toNativePath(const char16_t* resolved, char16_t* native);

// The system's own words for an error code from GetLastError.
const char* systemErrorText(DWORD code);

#endif
