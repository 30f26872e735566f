// The Windows types the Linux layer's calls take and give, apart from the
// calls themselves, so that the layer's own helpers can name them too.
#ifndef TUFLAT_PLATFORM_LINUX_WIN_TYPES_H
#define TUFLAT_PLATFORM_LINUX_WIN_TYPES_H

#include <cstdint>

typedef void* HANDLE;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef union {
  int64_t QuadPart;
} LARGE_INTEGER;

#endif
