// The few services that are not single Windows calls, provided by each
// operating-system layer.
#ifndef TUFLAT_PLATFORM_OS_H
#define TUFLAT_PLATFORM_OS_H

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

// Prints `format`, whose only conversion is one %s, with `text` in its place.
void printWide(const char* format, const char16_t* text);

// The system's own words for an error code from GetLastError.
const char* systemErrorText(DWORD code);

#endif
