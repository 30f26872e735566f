// Writes the flattened text of one file, with every quoted include expanded in
// place, into OutputFile.
#ifndef TUFLAT_EXPAND_EXPAND_H
#define TUFLAT_EXPAND_EXPAND_H

#include <cstdint>

// Whence a path comes: resolved by the tool (opened as it stands) or written
// in an include line (searched along the SearchList unless it begins `\\?`).
enum class PathKind { Resolved, Written };

// Include lines met in a file this deep are not followed (the main source is 1).
constexpr int kMaxIncludeDepth = 256;

// Returns 1 when a file was found (expanded, or refused as a cycle or as the
// output itself), 0 when none was.
int expandFile(const char16_t* path, PathKind kind);

// The scan of one file's bytes, with its includes expanded as it goes.
void scanText(char* bytes, uint64_t count);

#endif
