// What one run learns about the resolved paths it tries, so that a path met
// again does not touch the disk: paths that named no file, and the bytes of
// regular files that were opened more than once. The inputs are taken not to
// change while the run lasts.
#ifndef TUFLAT_SEARCH_FILE_CACHE_H
#define TUFLAT_SEARCH_FILE_CACHE_H

#include <cstddef>
#include <cstdint>

#include "../base/bounds.h"
#include "../base/tables.h"
#include "../platform/os.h"

enum class PathState : uint8_t {
  // Not yet tried, or tried and failed for a reason that may not last.
  Unknown,
  // Tried, and no file was there.
  Missing,
  // Opened before; its bytes are not kept.
  Opened,
  // Opened before; bytes[0, count) are its contents, in a block with one
  // spare byte after them.
  Kept,
};

struct CachedPath {
  // First, so that the table's key is the entry. Its text, the path, follows
  // the entry in its block, terminated.
  TableKey key;
  PathState state;
  // Whether a kept path's bytes begin with a byte-order mark, noted by the
  // one that keeps them: known without touching bytes that may no longer be
  // in the processor's cache.
  bool byteOrderMark;
  // A kept path used again since it was kept or last given a second chance
  // (see `newer`). Marking an entry, rather than moving it to the front of
  // the list, touches nothing but the entry itself.
  bool usedAgain;
  // Expansions now reading `bytes`; a kept path is evicted only at 0.
  uint32_t users;
  // The identity of the file an Opened or Kept path named when it was read.
  FileIdentity identity;
  bool identityKnown;
  char* bytes;
  uint64_t count;
  // A kept path's packed scan record (see replay.h), scanBytes long, or null;
  // noScan when none is to be made.
  char* scan;
  uint64_t scanBytes;
  bool noScan;
  // Neighbours in the cache's list of kept paths, in the order they were
  // kept or last given a second chance, newest first.
  CachedPath* newer;
  CachedPath* older;
};

// Every entry of a cache. The bytes of kept paths and the entries themselves
// each stay within their bound; a path that would break one is not kept or
// not remembered, and reads the disk as before.
struct FileCache {
  uint64_t keptLimit;
  uint64_t entryLimit;
  // The largest file whose bytes are kept.
  uint64_t largestKept;
  // Sum of `count + 1 + scanBytes` over kept paths; <= keptLimit.
  uint64_t keptBytes = 0;
  // Sum of the entries' block sizes and the table's slots; <= entryLimit.
  uint64_t entryBytes = 0;
  WideTable table = {};
  CachedPath* newest = nullptr;
  CachedPath* oldest = nullptr;
};

// Bounds that keep a run's peak memory well under 100 MiB.
constexpr uint64_t kKeptLimit = TUFLAT_BOUND(48ull << 20, 320);
constexpr uint64_t kEntryLimit = TUFLAT_BOUND(16ull << 20, 4096);
constexpr uint64_t kLargestKept = TUFLAT_BOUND(8ull << 20, 128);

// The run's cache.
extern FileCache RunFileCache;

// The entry for `path`, added as Unknown when it is new; null when it is new
// and cannot be remembered.
CachedPath* findPath(FileCache* cache, const char16_t* path);

// Takes over the heap block `bytes` (freed with operator delete, room for
// count + 1 bytes) as the contents of a path that is not kept, evicting the
// least recently used unused paths as the bound needs. Returns 1 when it is
// kept, with one user; 0 when it is not, and the caller still owns the block.
int keepBytes(FileCache* cache, CachedPath* entry, char* bytes, uint64_t count);

// Takes over the heap block `scan`, `bytes` long, as a kept path's scan
// record, within the same bound as the bytes. Returns 0 when it does not fit,
// and the caller still owns the block.
int keepScan(FileCache* cache, CachedPath* entry, char* scan, uint64_t bytes);

// A new user of a kept path's bytes, which are then passed over once by
// eviction.
void useKept(CachedPath* entry);
void releaseKept(CachedPath* entry);

// Frees every entry and kept block; the bounds stay.
void clearFileCache(FileCache* cache);

#endif
