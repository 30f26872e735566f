// Opening and reading the files to expand, through the run's cache: a path
// that named no file is not tried again, one that a listing of its directory
// proves absent is not tried at all, and a regular file opened a second time
// keeps its bytes for every later open. Only the disk calls are spared; the
// caller sees the same results as without the cache.
#include "source_file.h"

#include <cstring>

#include "../output/output.h"
#include "directory_listing.h"

bool startsWithByteOrderMark(const FileContents& contents) {
  return contents.count >= sizeof kByteOrderMark &&
         memcmp(contents.bytes, kByteOrderMark, sizeof kByteOrderMark) == 0;
}

int openSource(const char16_t* path, SourceFile* source) {
  return openCachedSource(path, findPath(&RunFileCache, path), source);
}

int openCachedSource(const char16_t* path, CachedPath* entry, SourceFile* source) {
  source->read = false;
  source->contents = {nullptr, 0, kUnknownSize, false};
  source->kept = false;
  source->cached = entry;
  if (entry != nullptr && entry->state == PathState::Missing) return 0;
  if (entry != nullptr && entry->state == PathState::Kept) {
    useKept(entry);
    source->file.handle = nullptr;
    source->identity = entry->identity;
    source->identityKnown = entry->identityKnown;
    source->contents = {entry->bytes, entry->count, entry->count, true};
    source->read = true;
    source->kept = true;
    return 1;
  }
  if (entry != nullptr && entry->state == PathState::Opened && entry->identityKnown) {
    source->file.handle = nullptr;
    source->identity = entry->identity;
    source->identityKnown = true;
    return 1;
  }
  ListedDirectory* directory = nullptr;
  if ((entry == nullptr || entry->state == PathState::Unknown) &&
      provesAbsent(&RunDirectoryListings, path, &directory)) {
    if (entry != nullptr) entry->state = PathState::Missing;
    // The code an open gives for a file that is not there. Only the main
    // source's failure shows its code, and that is the run's first open,
    // which no listing precedes.
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  if (source->file.openForRead(path) == nullptr) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      if (entry != nullptr) entry->state = PathState::Missing;
      noteMissIn(directory);
    }
    return 0;
  }
  source->identityKnown = getFileIdentity(source->file.handle, &source->identity) != 0;
  return 1;
}

void adoptSource(HANDLE file, SourceFile* source) {
  source->file.handle = file;
  source->identityKnown = getFileIdentity(file, &source->identity) != 0;
  source->read = false;
  source->contents = {nullptr, 0, kUnknownSize, false};
  source->cached = nullptr;
  source->kept = false;
}

void readSource(SourceFile* source, const char16_t* path) {
  if (source->read) return;
  source->read = true;
  // Not opened yet, and gone since it was read whole: the inputs changed
  // during the run.
  if (source->file.handle == nullptr && source->file.openForRead(path) == nullptr) return;
  source->contents = readWholeFile(source->file.handle);
  CachedPath* entry = source->cached;
  const FileContents& contents = source->contents;
  if (entry == nullptr || contents.bytes == nullptr || !contents.whole) return;
  // A file read only once costs nothing to forget; one read again is likely
  // to be read many times.
  if (entry->state == PathState::Unknown) {
    entry->state = PathState::Opened;
    entry->identity = source->identity;
    entry->identityKnown = source->identityKnown;
  } else if (entry->state == PathState::Opened &&
             GetFileType(source->file.handle) == FILE_TYPE_DISK &&
             keepBytes(&RunFileCache, entry, contents.bytes, contents.count)) {
    entry->byteOrderMark = startsWithByteOrderMark(contents);
    source->kept = true;
  }
}

void releaseSource(SourceFile* source) {
  if (source->kept) {
    releaseKept(source->cached);
  } else if (source->contents.bytes != nullptr) {
    releaseOutputBlock(source->contents.bytes, source->contents.count + 1);
  }
  source->contents.bytes = nullptr;
  source->kept = false;
  if (source->file.handle != nullptr) CloseHandle(source->file.handle);
  source->file.handle = nullptr;
}
