// Writes the flattened text of one file, with every quoted include (and, when
// asked, every angle include found in a `/I` directory) expanded in place,
// into OutputFile.
#ifndef TUFLAT_EXPAND_EXPAND_H
#define TUFLAT_EXPAND_EXPAND_H

#include <cstdint>

#include "../platform/os.h"
#include "../platform/simple_file.h"
#include "file_cache.h"
#include "run_config.h"

// Whence a path comes: resolved by the tool (opened as it stands) or written
// in an include line (searched along the SearchList unless it begins `\\?`).
enum class PathKind { Resolved, Written };

// Include lines met in a file this deep are not followed (the main source is 1).
constexpr int kMaxIncludeDepth = 256;

// Returns 1 when a file was found (expanded, refused as a cycle or as the
// output itself, or passed as one already expanded once), 0 when none was.
int expandFile(const char16_t* path, PathKind kind);

// A file opened for expansion, and its bytes once read. A file whose bytes
// the run's cache holds has no handle: its contents are the cache's.
struct SourceFile {
  SimpleFile file;
  FileIdentity identity;
  bool identityKnown;
  bool read;
  FileContents contents;
  // The path's cache entry, or null; `kept` when contents.bytes are its bytes.
  CachedPath* cached;
  bool kept;
};

// The UTF-8 byte-order mark, never copied from a file into the output.
constexpr char kByteOrderMark[] = {'\xEF', '\xBB', '\xBF'};
bool startsWithByteOrderMark(const FileContents& contents);

// Opens the file at a resolved path; 0 when it does not open.
int openSource(const char16_t* path, SourceFile* source);
// Reads an opened file whole, once.
void readSource(SourceFile* source);
// Frees or gives back the file's bytes and closes it.
void releaseSource(SourceFile* source);
// Expands the main source, opened by openSource, with the same progress lines
// as expandFile, in the given modes; closes it.
void expandMainSource(const char16_t* path, SourceFile* source, const RunConfig& modes);

// The scan of one file's bytes, with its includes expanded as it goes; the
// directives that the include-once and line-directive modes follow are not
// looked at.
void scanText(char* bytes, uint64_t count);

#endif
