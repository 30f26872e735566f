// Shared inside the Linux layer: how handles and error codes map to the system's.
#ifndef TUFLAT_PLATFORM_LINUX_HANDLE_H
#define TUFLAT_PLATFORM_LINUX_HANDLE_H

#include <cstdint>

#include "win_types.h"

// A handle is the descriptor plus one, so that no open file is ever null.
inline HANDLE handleOf(int descriptor) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(descriptor) + 1);
}
inline int descriptorOf(HANDLE handle) {
  return static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1);
}

struct stat;

// The status of an open file, as fstat gives it; 0 with the error set when it
// cannot be had.
int statusOf(HANDLE file, struct stat* status);

DWORD errorCodeOf(int errnoValue);
int errnoOf(DWORD code);

#endif
