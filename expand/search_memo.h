// What the run learns about its searches: for an include name searched from
// a given includer, how many of the first SearchList slots give candidates
// known to name no file, and the progress lines that trying them prints. A
// search made again prints those lines in one piece and begins at the first
// slot not known to miss, sparing the candidates' resolution and lookup.
#ifndef TUFLAT_EXPAND_SEARCH_MEMO_H
#define TUFLAT_EXPAND_SEARCH_MEMO_H

#include <cstddef>
#include <cstdint>

#include "file_cache.h"
#include "wide_table.h"

struct SearchMemo {
  // First, so that the table's key is the memo: the includer's text, a NUL
  // and the name, which follow the memo in its block.
  TableKey key;
  // Slots [0, knownMisses) give no file; trying them prints lines[0, length).
  // A search met once costs little to forget: only the second records.
  bool recorded;
  uint32_t knownMisses;
  char* lines;
  size_t length;
  size_t room;
};

// Every memo of a run; their blocks, lines and the table stay within `limit`
// bytes, beyond which searches are no longer remembered.
struct SearchMemos {
  uint64_t limit;
  uint64_t bytes = 0;
  WideTable table = {nullptr, nullptr, 0, 0};
  // A block of spareSize bytes for the next key, not counted in `bytes`.
  void* spare = nullptr;
  size_t spareSize = 0;
};

constexpr uint64_t kSearchMemoLimit = 16ull << 20;

extern SearchMemos RunSearchMemos;

// Begins a search of `name` from `includer` (slot 0's text). Prints the lines
// of the slots known to miss and returns the first slot to try. *recording is
// the memo that this search's misses extend, or null: the first search of a
// name from an includer only notes it, the second records, later ones use
// the record.
uint32_t beginSearch(SearchMemos* memos, const char16_t* includer, const char16_t* name,
                     SearchMemo** recording);

// Notes that `slot`'s candidate, `candidate`, named no file and that trying it
// printed its two lines with `includer`. The memo is extended only by slots
// in order whose candidates `files` knows to be missing; any other ends the
// recording.
void noteMiss(SearchMemos* memos, SearchMemo** recording, uint32_t slot, const char16_t* candidate,
              const char16_t* includer, const FileCache* files);

// Frees every memo; the limit stays.
void clearSearchMemos(SearchMemos* memos);

#endif
