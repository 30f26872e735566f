// Resolved paths as the platform's own tools and editors spell them.
#ifndef TUFLAT_OUTPUT_NATIVE_PATH_H
#define TUFLAT_OUTPUT_NATIVE_PATH_H

// The native spelling of a path resolved by resolveFullPath, as OEM text in a
// new block (freed with delete[]); null when no memory can be had or the
// path cannot be converted.
char* nativePathText(const char16_t* resolved);

// A resolved path as a user names it from the current directory: relative to
// it (`src/a.h`) when the file lies below it, else as nativePathText gives it.
// In a new block (freed with delete[]); null as for nativePathText.
char* relativePathText(const char16_t* resolved);

#endif
