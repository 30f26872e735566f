// The files to expand: opened and read through the run's cache, each read
// once, and given back when done.
#ifndef TUFLAT_SEARCH_SOURCE_FILE_H
#define TUFLAT_SEARCH_SOURCE_FILE_H

#include "../platform/os.h"
#include "../platform/simple_file.h"
#include "file_cache.h"

// A file opened for expansion, and its bytes once read. A file whose bytes
// the run's cache holds has no handle: its contents are the cache's. One
// that was read whole before, with a known identity, has no handle until it
// is read: it is opened only when its bytes are wanted, so that a file that
// is only checked (an include cycle, a file skipped as included once) costs
// no open.
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
// The same with the path's cache entry already found (findPath), or null.
int openCachedSource(const char16_t* path, CachedPath* entry, SourceFile* source);
// Takes a file opened by other means, such as standard input, which no path
// names: the cache never holds it.
void adoptSource(HANDLE file, SourceFile* source);
// Reads an opened file, found at `path`, whole, once. A file not yet opened
// that no longer opens has no bytes and is not whole.
void readSource(SourceFile* source, const char16_t* path);
// Frees or gives back the file's bytes and closes it.
void releaseSource(SourceFile* source);

#endif
