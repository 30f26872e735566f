#include "file_cache.h"

#include <cstring>
#include <new>

#include "../base/bounds.h"
#include "../base/tables.h"
#include "../output/output.h"
#include "../platform/full_path.h"

FileCache RunFileCache = {kKeptLimit, kEntryLimit, kLargestKept};

namespace {

void unlink(FileCache* cache, CachedPath* entry) {
  (entry->newer != nullptr ? entry->newer->older : cache->newest) = entry->older;
  (entry->older != nullptr ? entry->older->newer : cache->oldest) = entry->newer;
  entry->newer = nullptr;
  entry->older = nullptr;
}

void pushNewest(FileCache* cache, CachedPath* entry) {
  entry->older = cache->newest;
  entry->newer = nullptr;
  (cache->newest != nullptr ? cache->newest->newer : cache->oldest) = entry;
  cache->newest = entry;
}

void evict(FileCache* cache, CachedPath* entry) {
  settleOutput();
  unlink(cache, entry);
  ::operator delete(entry->bytes);
  ::operator delete(entry->scan);
  entry->bytes = nullptr;
  entry->scan = nullptr;
  cache->keptBytes -= entry->count + 1 + entry->scanBytes;
  entry->count = 0;
  entry->scanBytes = 0;
  entry->noScan = false;
  entry->state = PathState::Opened;
}

// Evicts unused kept paths, oldest first, until `needed` more bytes fit;
// evicts none when that cannot be done. One used again since it was kept or
// last passed over is passed over once more, as the newest.
int makeRoom(FileCache* cache, uint64_t needed) {
  uint64_t free = cache->keptLimit - cache->keptBytes;
  if (needed <= free) return 1;
  uint64_t freeable = free;
  for (CachedPath* at = cache->oldest; at != nullptr && freeable < needed; at = at->newer) {
    if (at->users == 0) freeable += at->count + 1 + at->scanBytes;
  }
  if (freeable < needed) {
    countBoundPath(BoundPath::CacheFull);
    return 0;
  }
  for (CachedPath* at = cache->oldest; cache->keptLimit - cache->keptBytes < needed;) {
    CachedPath* next = at->newer;
    if (at->users == 0 && at->usedAgain) {
      countBoundPath(BoundPath::CachePassedOver);
      at->usedAgain = false;
      unlink(cache, at);
      pushNewest(cache, at);
    } else if (at->users == 0) {
      countBoundPath(BoundPath::CacheEvicted);
      evict(cache, at);
    }
    // Entries passed over come round again, no longer used again.
    at = next != nullptr ? next : cache->oldest;
  }
  return 1;
}

}  // namespace

CachedPath* findPath(FileCache* cache, const char16_t* path) {
  CachedPath* entry = findOrAddEntry<CachedPath>(&cache->table, path, wideLength(path),
                                                 &cache->entryBytes, cache->entryLimit);
  if (entry == nullptr) countBoundPath(BoundPath::CachePathRefused);
  return entry;
}

int keepBytes(FileCache* cache, CachedPath* entry, char* bytes, uint64_t count) {
  if (entry->state == PathState::Kept) return 0;
  if (count > cache->largestKept) {
    countBoundPath(BoundPath::CacheFileTooLarge);
    return 0;
  }
  if (!makeRoom(cache, count + 1)) return 0;
  entry->state = PathState::Kept;
  entry->bytes = bytes;
  entry->count = count;
  entry->users = 1;
  entry->usedAgain = false;
  cache->keptBytes += count + 1;
  pushNewest(cache, entry);
  return 1;
}

int keepScan(FileCache* cache, CachedPath* entry, char* scan, uint64_t bytes) {
  if (entry->state != PathState::Kept || entry->scan != nullptr || !makeRoom(cache, bytes)) {
    return 0;
  }
  entry->scan = scan;
  entry->scanBytes = bytes;
  cache->keptBytes += bytes;
  return 1;
}

void useKept(CachedPath* entry) {
  ++entry->users;
  entry->usedAgain = true;
}

void releaseKept(CachedPath* entry) {
  --entry->users;
}

void clearFileCache(FileCache* cache) {
  settleOutput();
  for (size_t at = 0; at < cache->table.capacity; ++at) {
    auto* entry = reinterpret_cast<CachedPath*>(cache->table.slots[at]);
    if (entry == nullptr) continue;
    ::operator delete(entry->bytes);
    ::operator delete(entry->scan);
    entry->~CachedPath();
    ::operator delete(entry);
  }
  clearTable(&cache->table);
  cache->keptBytes = 0;
  cache->entryBytes = 0;
  cache->newest = nullptr;
  cache->oldest = nullptr;
}
