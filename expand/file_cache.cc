#include "file_cache.h"

#include <cstring>
#include <new>

#include "../platform/full_path.h"

FileCache RunFileCache = {kKeptLimit, kEntryLimit, kLargestKept, 0,      0, nullptr,
                          0,          0,           nullptr,      nullptr};

namespace {

constexpr size_t kFirstCapacity = 1024;

// Paths are long and alike at the start: hashed four characters at a time.
uint64_t hashOf(const char16_t* path, size_t* length) {
  *length = wideLength(path);
  const size_t bytes = *length * sizeof(char16_t);
  const auto* text = reinterpret_cast<const unsigned char*>(path);
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ bytes;
  size_t at = 0;
  for (; at + sizeof(uint64_t) <= bytes; at += sizeof(uint64_t)) {
    uint64_t word;
    memcpy(&word, text + at, sizeof word);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  uint64_t rest = 0;
  memcpy(&rest, text + at, bytes - at);
  // The final mix of MurmurHash3, so that every bit counts in the low bits
  // that choose the slot.
  hash ^= rest;
  hash = (hash ^ (hash >> 33)) * 0xFF51AFD7ED558CCDull;
  hash = (hash ^ (hash >> 33)) * 0xC4CEB9FE1A85EC53ull;
  return hash ^ (hash >> 33);
}

const char16_t* pathOf(const CachedPath* entry) {
  return reinterpret_cast<const char16_t*>(entry + 1);
}

size_t blockSize(size_t length) {
  return sizeof(CachedPath) + length * sizeof(char16_t);
}

// The slot that holds `hash`'s entry, or the free slot where it would go.
CachedPath** slotFor(CachedPath** slots, size_t capacity, uint64_t hash, const char16_t* path,
                     size_t length) {
  size_t at = static_cast<size_t>(hash) & (capacity - 1);
  for (;; at = (at + 1) & (capacity - 1)) {
    CachedPath* entry = slots[at];
    if (entry == nullptr) return &slots[at];
    if (entry->hash == hash && entry->length == length &&
        memcmp(pathOf(entry), path, length * sizeof(char16_t)) == 0) {
      return &slots[at];
    }
  }
}

// Doubles the table, within the entries' bound; 0 when it cannot.
int grow(FileCache* cache) {
  size_t capacity = cache->capacity == 0 ? kFirstCapacity : cache->capacity * 2;
  uint64_t added = (capacity - cache->capacity) * sizeof(CachedPath*);
  if (cache->entryBytes + added > cache->entryLimit) return 0;
  auto** slots = new (std::nothrow) CachedPath*[capacity]();
  if (slots == nullptr) return 0;
  for (size_t at = 0; at < cache->capacity; ++at) {
    CachedPath* entry = cache->slots[at];
    if (entry == nullptr) continue;
    *slotFor(slots, capacity, entry->hash, pathOf(entry), entry->length) = entry;
  }
  delete[] cache->slots;
  cache->slots = slots;
  cache->capacity = capacity;
  cache->entryBytes += added;
  return 1;
}

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
// evicts none when that cannot be done.
int makeRoom(FileCache* cache, uint64_t needed) {
  uint64_t free = cache->keptLimit - cache->keptBytes;
  if (needed <= free) return 1;
  uint64_t freeable = free;
  for (CachedPath* at = cache->oldest; at != nullptr && freeable < needed; at = at->newer) {
    if (at->users == 0) freeable += at->count + 1 + at->scanBytes;
  }
  if (freeable < needed) return 0;
  for (CachedPath* at = cache->oldest; cache->keptLimit - cache->keptBytes < needed;) {
    CachedPath* next = at->newer;
    if (at->users == 0) evict(cache, at);
    at = next;
  }
  return 1;
}

}  // namespace

CachedPath* findPath(FileCache* cache, const char16_t* path) {
  size_t length = 0;
  uint64_t hash = hashOf(path, &length);
  if (cache->capacity > 0) {
    CachedPath** slot = slotFor(cache->slots, cache->capacity, hash, path, length);
    if (*slot != nullptr) return *slot;
  }
  if ((cache->used + 1) * 2 > cache->capacity && !grow(cache)) return nullptr;
  size_t size = blockSize(length);
  if (cache->entryBytes + size > cache->entryLimit) return nullptr;
  void* block = ::operator new(size, std::nothrow);
  if (block == nullptr) return nullptr;
  auto* entry = new (block) CachedPath{PathState::Unknown,
                                       0,
                                       {0, 0},
                                       false,
                                       nullptr,
                                       0,
                                       nullptr,
                                       0,
                                       false,
                                       nullptr,
                                       nullptr,
                                       hash,
                                       length};
  memcpy(entry + 1, path, length * sizeof(char16_t));
  *slotFor(cache->slots, cache->capacity, hash, path, length) = entry;
  ++cache->used;
  cache->entryBytes += size;
  return entry;
}

int keepBytes(FileCache* cache, CachedPath* entry, char* bytes, uint64_t count) {
  if (entry->state == PathState::Kept || count > cache->largestKept) return 0;
  if (!makeRoom(cache, count + 1)) return 0;
  entry->state = PathState::Kept;
  entry->bytes = bytes;
  entry->count = count;
  entry->users = 1;
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

void useKept(FileCache* cache, CachedPath* entry) {
  ++entry->users;
  unlink(cache, entry);
  pushNewest(cache, entry);
}

void releaseKept(CachedPath* entry) {
  --entry->users;
}

void clearFileCache(FileCache* cache) {
  for (size_t at = 0; at < cache->capacity; ++at) {
    CachedPath* entry = cache->slots[at];
    if (entry == nullptr) continue;
    ::operator delete(entry->bytes);
    ::operator delete(entry->scan);
    entry->~CachedPath();
    ::operator delete(entry);
  }
  delete[] cache->slots;
  *cache = {cache->keptLimit, cache->entryLimit, cache->largestKept, 0, 0, nullptr, 0, 0, nullptr,
            nullptr};
}
