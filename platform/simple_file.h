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

// A size no file has: the file cannot seek to its end.
constexpr uint64_t kUnknownSize = ~static_cast<uint64_t>(0);

// The size of an open file, or kUnknownSize; the file position is left where it was.
uint64_t getFileSize(HANDLE file);

// A file's bytes, read whole: bytes[0, count) of a heap block (freed with
// operator delete) that has room for at least count + 1 bytes, so that a
// terminator can follow the text. bytes is null when no block could be had.
struct FileContents {
  char* bytes;
  uint64_t count;
  // What the file said it holds; for a stream, count once read to its end,
  // else kUnknownSize.
  uint64_t size;
  // Read to its end, with nothing lost.
  bool whole;
};

// A file that can seek is read with one whole-file read of its size. Any
// other (a pipe, a FIFO, a device) is read to its end into a growing block,
// never probed, so that nothing it holds is read away.
FileContents readWholeFile(HANDLE file);

#endif
