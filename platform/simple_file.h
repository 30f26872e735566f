// Files as the rest of the tool sees them: open by wide path, read, write, size.
#ifndef TUFLAT_PLATFORM_SIMPLE_FILE_H
#define TUFLAT_PLATFORM_SIMPLE_FILE_H

#include <cstdint>

#include "winapi.h"

// One open file, or none. `handle` is null when nothing is open, never the
// platform's invalid-handle value. The owner closes it with CloseHandle.
class SimpleFile {
 public:
  // Opens an existing file for reading; returns the handle, null on failure.
  HANDLE openForRead(const char16_t* path);
  // Reads up to `count` bytes; returns how many arrived (0 on failure).
  uint64_t read(void* buffer, uint64_t count);
  // Writes `count` bytes; returns how many went out (0 on failure).
  uint64_t write(const void* buffer, uint64_t count);

  HANDLE handle = nullptr;
};

// The size of an open file; the file position is left where it was.
uint64_t getFileSize(HANDLE file);
// The size found by reading at probe positions, for files that cannot seek to
// their end. All bits set when no probe buffer can be had.
uint64_t probeFileSize(HANDLE file);

#endif
