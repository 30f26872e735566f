// What the run learns about its searches: for an include name searched from
// a given includer, how many of the first SearchList slots give candidates
// known to name no file, the cache entry of the next slot's candidate, and
// the progress lines that the search prints up to trying that candidate. A
// search made again prints those lines in one piece and begins at that slot
// with its entry, sparing the candidates' resolution, lookup and printing.
#ifndef TUFLAT_SEARCH_SEARCH_MEMO_H
#define TUFLAT_SEARCH_SEARCH_MEMO_H

#include <cstddef>
#include <cstdint>

#include "../base/bounds.h"
#include "../base/tables.h"
#include "file_cache.h"

struct SearchMemo {
  // First, so that the table's key is the memo: the includer's text, a NUL
  // and the name, which follow the memo in its block.
  TableKey key;
  // A search met once costs little to forget: the second records. Cleared
  // again when the search's own two lines, which begin `lines`, do not fit.
  bool recorded;
  // Slots [0, knownMisses) give no file. lines[0, settled) are the search's
  // two lines, then two for each of those slots, then, when `hit` is not
  // null, the two of trying slot knownMisses, whose candidate is hit's path.
  // While a search records, lines[settled, length) are those of the
  // candidate it tries; otherwise length == settled.
  uint32_t knownMisses;
  CachedPath* hit;
  char* lines;
  size_t settled;
  size_t length;
  size_t room;
};

// Every memo of a run; their blocks, lines and the table stay within `limit`
// bytes, beyond which searches are no longer remembered.
struct SearchMemos {
  uint64_t limit;
  uint64_t bytes = 0;
  WideTable table = {};
  // A block of spareSize bytes for the next key, not counted in `bytes`.
  void* spare = nullptr;
  size_t spareSize = 0;
};

constexpr uint64_t kSearchMemoLimit = TUFLAT_BOUND(16ull << 20, 2048);

extern SearchMemos RunSearchMemos;

// How a search begins.
struct SearchStart {
  // The first slot to try.
  uint32_t slot;
  // The cache entry of that slot's candidate, its two lines printed; null when
  // the candidate is to be resolved and printed.
  CachedPath* hit;
  // False when the search's own two lines are still to be printed.
  bool printed;
  // The memo that this search's misses and hit extend, or null.
  SearchMemo* recording;
};

// Begins a search of `name` from `includer` (slot 0's text). The first
// search of a name from an includer only notes it, the second records, later
// ones print the record's lines. `known`, when not null, is where the caller
// keeps the memo of this includer and name, or null: the memo is then taken
// from there, or left there once there is one, without a lookup.
SearchStart beginSearch(SearchMemos* memos, const char16_t* includer, const char16_t* name,
                        SearchMemo** known);

// Prints the two lines of trying `path` from `includer`: first the search's
// own (the name searched), then those of each candidate. While a search
// records (*recording not null) they join its memo and are printed from
// there; when they do not fit, the recording ends.
void printTrial(SearchMemos* memos, SearchMemo** recording, const char16_t* path,
                const char16_t* includer);

// Notes that `slot`'s candidate, whose cache entry is `entry` (or null),
// did not open. The memo keeps only slots in order whose candidates are known
// to be missing; any other ends the recording.
void noteMiss(SearchMemo** recording, uint32_t slot, const CachedPath* entry);

// Notes that `slot`'s candidate, the path of `entry`, opened; the recording
// ends.
void noteHit(SearchMemo** recording, uint32_t slot, CachedPath* entry);

// Frees every memo; the limit stays.
void clearSearchMemos(SearchMemos* memos);

#endif
