// Writes the flattened text of one file, with every quoted include (and, when
// asked, every angle include found in a `/I` directory) expanded in place,
// into OutputFile.
#ifndef TUFLAT_FLATTEN_EXPAND_H
#define TUFLAT_FLATTEN_EXPAND_H

#include <cstdint>

#include "../search/search.h"
#include "run_config.h"

// Include lines met in a file this deep are not followed (the main source is 1).
constexpr int kMaxIncludeDepth = 256;

struct SearchMemo;

// Expands the file an include line names: a path that begins `\\?` is opened
// as it stands, any other name is searched along the SearchList. Returns 1
// when a file was found (expanded, refused as a cycle or as the output
// itself, or passed as one already expanded once), 0 when none was. `memo`,
// when not null, is where the include line keeps its search memo (see
// beginSearch).
int expandFile(const char16_t* path, SearchMemo** memo);

// Expands the main source, opened by openSource, with the same progress lines
// as expandFile, in the given modes; closes it.
void expandMainSource(const char16_t* path, SourceFile* source, const RunConfig& modes);

// The scan of one file's bytes, with its includes expanded as it goes; the
// directives that the include-once and line-directive modes follow are not
// looked at.
void scanText(char* bytes, uint64_t count);

#endif
