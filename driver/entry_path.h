// Paths written in a compilation database: UTF-8 texts, each relative one
// taken against its entry's `directory`, as the compiler that ran there took it.
#ifndef TUFLAT_DRIVER_ENTRY_PATH_H
#define TUFLAT_DRIVER_ENTRY_PATH_H

#include <cstddef>

// The last component of `path`: what follows its last `/` or `\`.
const char* lastPathComponent(const char* path);

// True when a[0, length) and b[0, length) differ at most in ASCII case, as
// names of programs and files on Windows compare.
bool sameIgnoringAsciiCase(const char* a, const char* b, size_t length);

// True when `path` needs no directory: it begins with a separator or a drive.
bool isAbsoluteEntryPath(const char* path);

// `path` taken against `directory` (itself taken against the current
// directory when relative) and resolved into destination[0, kWorkBufferChars),
// with the long-path prefix, as resolveFullPath gives it. Uses ConvBuffer.
// Returns the length; 0 when the joined path does not fit, and then
// `destination` holds a path that opens nothing.
size_t resolveEntryPath(const char* directory, const char* path, char16_t* destination);

#endif
