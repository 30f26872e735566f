// Resolved paths as the platform's own tools and editors spell them.
#ifndef TUFLAT_EXPAND_NATIVE_PATH_H
#define TUFLAT_EXPAND_NATIVE_PATH_H

// The native spelling of a path resolved by resolveFullPath, as OEM text in a
// new block (freed with delete[]); null when no memory can be had or the
// path cannot be converted.
char* nativePathText(const char16_t* resolved);

// The same for a file below the current directory, but relative to it
// (`src/a.h`), as a user would name it; null likewise.
char* shownPathText(const char16_t* resolved);

#endif
