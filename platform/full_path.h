// Absolute wide paths with the long-path prefix, and OEM text conversion.
#ifndef TUFLAT_PLATFORM_FULL_PATH_H
#define TUFLAT_PLATFORM_FULL_PATH_H

#include <cstddef>

// The characters of a NUL-terminated wide text, the terminator not counted.
inline size_t wideLength(const char16_t* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Every path that begins with these three characters counts as absolute.
inline bool hasLongPathPrefix(const char16_t* path) {
  return path[0] == u'\\' && path[1] == u'\\' && path[2] == u'?';
}

// True when `text` begins with all of `prefix`; reads no further than either ends.
inline bool startsWith(const char16_t* text, const char16_t* prefix) {
  while (*prefix != 0 && *text == *prefix) {
    ++text;
    ++prefix;
  }
  return *prefix == 0;
}

// Copies `path`, terminated, into `copy` with each `\` written as `separator`,
// and terminates the copy. Returns the characters copied, the terminator not counted.
size_t copyPathSeparated(const char16_t* path, char16_t separator, char16_t* copy);

// text[0, units) narrowed to bytes, each character above 0xFF as `?`, in the
// block of textRoom, *length of them; null when no block could be had.
const char* narrowText(const char16_t* text, size_t units, size_t* length);

// Resolves `source` against the current directory into `destination`, with the
// prefix `\\?\` unless the result already begins with two backslashes (a
// prefixed or network path). When the result does not fit, `destination` holds
// the bare prefix, which opens nothing. Returns the length in characters.
size_t resolveFullPath(const char16_t* source, char16_t* destination, size_t destinationBytes);

// OEM text, NUL-terminated, into `wide`. Returns the characters written, the
// terminator counted; 0 when it does not fit, and then `wide` holds "".
int oemToWide(const char* text, char16_t* wide, size_t wideChars);

// `bytes` bytes of OEM text, which need not be terminated, into `wide` with a
// terminator. Returns the characters written without it, or -1 when they do
// not fit in `wideChars` (terminator included); then `wide` is left alone.
// With `wideChars` 0, returns the characters needed without the terminator.
int oemToWideCounted(const char* text, size_t bytes, char16_t* wide, size_t wideChars);

// The same for UTF-8 text, such as a compilation database holds.
int utf8ToWideCounted(const char* text, size_t bytes, char16_t* wide, size_t wideChars);

#endif
