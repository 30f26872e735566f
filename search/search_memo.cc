#include "search_memo.h"

#include <cstring>
#include <new>

#include "../base/bounds.h"
#include "../output/progress.h"
#include "../platform/full_path.h"
#include "../platform/os.h"
#include "../platform/print_line.h"

SearchMemos RunSearchMemos = {kSearchMemoLimit};

namespace {

// Appends text[0, count) to the memo's lines within the limit; 0 when it
// cannot.
int appendLines(SearchMemos* memos, SearchMemo* memo, const char* text, size_t count) {
  if (memo->length + count > memo->room) {
    // Room for a few lines at first: a memo holds two for each slot it skips.
    size_t room = memo->room > 0 ? memo->room * 2 : TUFLAT_BOUND(512, 16);
    if (room < memo->length + count) room = memo->length + count;
    if (memos->bytes + (room - memo->room) > memos->limit) {
      countBoundPath(BoundPath::MemoLinesRefused);
      return 0;
    }
    auto* lines = static_cast<char*>(::operator new(room, std::nothrow));
    if (lines == nullptr) return 0;
    if (memo->length > 0) memcpy(lines, memo->lines, memo->length);
    ::operator delete(memo->lines);
    memos->bytes += room - memo->room;
    memo->lines = lines;
    memo->room = room;
  }
  memcpy(memo->lines + memo->length, text, count);
  memo->length += count;
  return 1;
}

// The line that progressWide prints for `format` and `text`.
int appendLine(SearchMemos* memos, SearchMemo* memo, const char* format, const char16_t* text) {
  size_t length = 0;
  const char* shown = printableText(text, &length);
  LineFormat parts = splitFormat(format);
  return shown != nullptr && appendLines(memos, memo, format, parts.prefix) &&
         (length == 0 || appendLines(memos, memo, shown, length)) &&
         appendLines(memos, memo, parts.suffix, parts.suffixLength);
}

// The two lines of trying a path from an includer.
constexpr char kTriedLine[] = "!<%s>\n";
constexpr char kIncluderLine[] = "?<%s>\n";

// The memo of `name` searched from `includer`, or null, with *added true when
// it is new: a search met for the first time.
SearchMemo* findOrAddMemo(SearchMemos* memos, const char16_t* includer, const char16_t* name,
                          bool* added) {
  *added = false;
  size_t includerLength = wideLength(includer);
  size_t nameLength = wideLength(name);
  size_t length = includerLength + 1 + nameLength;
  size_t size = sizeof(SearchMemo) + length * sizeof(char16_t);
  // The key is built in the block a new memo would take; a search met before
  // leaves the block for the next one.
  if (size > memos->spareSize) {
    ::operator delete(memos->spare);
    memos->spare = ::operator new(size, std::nothrow);
    memos->spareSize = memos->spare != nullptr ? size : 0;
    if (memos->spare == nullptr) return nullptr;
  }
  auto* block = static_cast<SearchMemo*>(memos->spare);
  auto* text = reinterpret_cast<char16_t*>(block + 1);
  memcpy(text, includer, includerLength * sizeof(char16_t));
  text[includerLength] = 0;
  memcpy(text + includerLength + 1, name, nameLength * sizeof(char16_t));
  uint64_t hash = hashWide(text, length);
  if (TableKey* key = findKey(&memos->table, text, length, hash)) {
    return reinterpret_cast<SearchMemo*>(key);
  }
  if (memos->bytes + memos->spareSize > memos->limit ||
      !roomInTable(&memos->table, &memos->bytes, memos->limit)) {
    countBoundPath(BoundPath::MemoRefused);
    return nullptr;
  }
  auto* memo = new (block) SearchMemo{{text, length, hash}, false, 0, nullptr, nullptr, 0, 0, 0};
  addKey(&memos->table, &memo->key);
  memos->bytes += memos->spareSize;
  memos->spare = nullptr;
  memos->spareSize = 0;
  *added = true;
  return memo;
}

}  // namespace

SearchStart beginSearch(SearchMemos* memos, const char16_t* includer, const char16_t* name,
                        SearchMemo** known) {
  SearchStart start = {0, nullptr, false, nullptr};
  SearchMemo* memo = known != nullptr ? *known : nullptr;
  if (memo == nullptr) {
    bool added = false;
    memo = findOrAddMemo(memos, includer, name, &added);
    if (known != nullptr) *known = memo;
    if (memo == nullptr || added) return start;
  }
  if (memo->recorded) {
    progressLines(memo->lines, memo->settled);
    return {memo->knownMisses, memo->hit, true, nullptr};
  }
  // Recorded once its own two lines are in (printTrial).
  memo->recorded = true;
  start.recording = memo;
  return start;
}

void printTrial(SearchMemos* memos, SearchMemo** recording, const char16_t* path,
                const char16_t* includer) {
  SearchMemo* memo = *recording;
  if (memo != nullptr) {
    // A quiet run prints no lines, and has none to keep.
    if (!ProgressShown) return;
    size_t start = memo->length;
    if (appendLine(memos, memo, kTriedLine, path) &&
        appendLine(memos, memo, kIncluderLine, includer)) {
      progressLines(memo->lines + start, memo->length - start);
      // The search's own lines stand before any candidate is tried.
      if (start == 0) memo->settled = memo->length;
      return;
    }
    memo->length = start;
    if (start == 0) memo->recorded = false;
    *recording = nullptr;
  }
  progressWide(kTriedLine, path);
  progressWide(kIncluderLine, includer);
}

void noteMiss(SearchMemo** recording, uint32_t slot, const CachedPath* entry) {
  SearchMemo* memo = *recording;
  if (memo == nullptr) return;
  if (entry == nullptr || entry->state != PathState::Missing || slot != memo->knownMisses) {
    memo->length = memo->settled;
    *recording = nullptr;
    return;
  }
  memo->knownMisses = slot + 1;
  memo->settled = memo->length;
}

void noteHit(SearchMemo** recording, uint32_t slot, CachedPath* entry) {
  SearchMemo* memo = *recording;
  if (memo == nullptr) return;
  *recording = nullptr;
  if (entry != nullptr && slot == memo->knownMisses) {
    memo->hit = entry;
    memo->settled = memo->length;
  } else {
    memo->length = memo->settled;
  }
}

void clearSearchMemos(SearchMemos* memos) {
  for (size_t at = 0; at < memos->table.capacity; ++at) {
    auto* memo = reinterpret_cast<SearchMemo*>(memos->table.slots[at]);
    if (memo == nullptr) continue;
    ::operator delete(memo->lines);
    memo->~SearchMemo();
    ::operator delete(memo);
  }
  clearTable(&memos->table);
  ::operator delete(memos->spare);
  memos->spare = nullptr;
  memos->spareSize = 0;
  memos->bytes = 0;
}
