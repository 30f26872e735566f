// What a run knows of an include name's candidates in the `/I` directories.
// There the same name gives the same candidate whichever file includes it, so
// each is resolved and found in the file cache once; a later search of the
// name goes straight to the candidate's cache entry.
#ifndef TUFLAT_SEARCH_NAME_CANDIDATES_H
#define TUFLAT_SEARCH_NAME_CANDIDATES_H

#include <cstddef>
#include <cstdint>

#include "../base/bounds.h"
#include "../base/tables.h"
#include "file_cache.h"

struct NameCandidates {
  // First, so that the table's key is the entry. Its text, the name, follows
  // the entry in its block.
  TableKey key;
  // entries[0, slots): the cache entry of the candidate in each SearchList
  // slot, or null while it is not known. Only `/I` slots are ever set.
  CachedPath** entries;
};

// Every name a run has searched for in the `/I` directories; entries, their
// arrays and the table stay within `limit` bytes, beyond which a name is not
// remembered and its candidates are resolved each time.
struct CandidateTable {
  uint64_t limit;
  uint64_t bytes = 0;
  WideTable table = {};
};

constexpr uint64_t kCandidateLimit = TUFLAT_BOUND(4ull << 20, 512);

extern CandidateTable RunCandidates;

// The candidates known for name[0, length), with room for `slots` of them:
// none known when the name is new. Null when it cannot be remembered.
NameCandidates* findCandidates(CandidateTable* table, const char16_t* name, size_t length,
                               uint32_t slots);

// Frees every entry; the limit stays.
void clearCandidates(CandidateTable* table);

#endif
