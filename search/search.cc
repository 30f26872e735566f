#include "search.h"

#include <cstring>

#include "../output/run_state.h"
#include "../platform/full_path.h"
#include "file_cache.h"
#include "name_candidates.h"
#include "search_memo.h"

namespace {

// SearchList slots from this one on hold the `/I` directories.
constexpr uint32_t kFirstIncludeDirectorySlot = 2;

// The resolved path of `name` in a SearchList slot, in ConvBuffer; null
// when it does not fit the buffer, and so cannot open.
const char16_t* candidatePath(uint32_t slot, const char16_t* name, size_t nameLength) {
  const char16_t* directory = SearchList.entries[slot].text;
  size_t directoryLength = SearchList.entries[slot].count - 1;
  if (directoryLength + 1 + nameLength >= kWorkBufferChars) return nullptr;
  char16_t* candidate = CandidateBuffer.wide;
  memcpy(candidate, directory, directoryLength * sizeof(char16_t));
  candidate[directoryLength] = u'\\';
  memcpy(candidate + directoryLength + 1, name, (nameLength + 1) * sizeof(char16_t));
  resolveFullPath(candidate, ConvBuffer.wide, kWorkBufferBytes);
  return ConvBuffer.wide;
}

// Prints the two lines of trying `path`, outside any memo.
void printEntry(const char16_t* path) {
  SearchMemo* none = nullptr;
  printTrial(&RunSearchMemos, &none, path, SearchList.entries[0].text);
}

// The candidates of one search in the `/I` slots, found when first needed.
struct KnownCandidates {
  NameCandidates* found = nullptr;
  bool looked = false;
};

// The candidate of `name` in `slot`, with its cache entry in *entry (null
// when the cache cannot hold it); null when there is none.
const char16_t* candidateIn(uint32_t slot, const char16_t* name, size_t nameLength,
                            KnownCandidates* known, CachedPath** entry) {
  CachedPath** remembered = nullptr;
  if (slot >= kFirstIncludeDirectorySlot) {
    if (!known->looked) {
      known->found = findCandidates(&RunCandidates, name, nameLength, SearchList.count);
      known->looked = true;
    }
    if (known->found != nullptr) remembered = &known->found->entries[slot];
  }
  if (remembered != nullptr && *remembered != nullptr) {
    *entry = *remembered;
    return (*entry)->key.text;
  }
  const char16_t* candidate = candidatePath(slot, name, nameLength);
  *entry = candidate != nullptr ? findPath(&RunFileCache, candidate) : nullptr;
  if (remembered != nullptr) *remembered = *entry;
  return candidate;
}

bool isOnChain(const OpenChain& chain, const FileIdentity& identity) {
  for (int level = 0; level < chain.count; ++level) {
    if (chain.known[level] && chain.identities[level] == identity) return true;
  }
  return false;
}

// What the file opened in found->source is to the run: the output and a file
// being expanded are closed again, as no text of theirs is read.
Lead classify(const OpenChain& chain, const char16_t* path, Found* found) {
  found->path = path;
  SourceFile& source = found->source;
  Lead lead = Lead::Opened;
  if (source.identityKnown && OutputIdentityKnown && source.identity == OutputIdentity) {
    lead = Lead::Output;
  } else if (source.identityKnown && isOnChain(chain, source.identity)) {
    lead = Lead::Cycle;
  }
  if (lead != Lead::Opened) releaseSource(&source);
  return lead;
}

// Tries the name in the SearchList slots in order, from the first not known
// to miss.
Lead search(const char16_t* name, SearchMemo** memo, const OpenChain& chain, Found* found) {
  size_t nameLength = wideLength(name);
  const char16_t* includer = SearchList.entries[0].text;
  SearchStart start = beginSearch(&RunSearchMemos, includer, name, memo);
  if (!start.printed) printTrial(&RunSearchMemos, &start.recording, name, includer);
  KnownCandidates known;
  for (uint32_t slot = start.slot; slot < SearchList.count; ++slot) {
    CachedPath* entry = slot == start.slot ? start.hit : nullptr;
    const char16_t* candidate;
    if (entry != nullptr) {
      candidate = entry->key.text;
    } else {
      candidate = candidateIn(slot, name, nameLength, &known, &entry);
      if (candidate == nullptr) continue;
      printTrial(&RunSearchMemos, &start.recording, candidate, includer);
    }
    if (openCachedSource(candidate, entry, &found->source)) {
      noteHit(&start.recording, slot, entry);
      found->slot = slot;
      return classify(chain, candidate, found);
    }
    noteMiss(&start.recording, slot, entry);
  }
  return Lead::Missing;
}

}  // namespace

Lead findQuoted(const char16_t* name, SearchMemo** memo, const OpenChain& chain, Found* found) {
  if (!hasLongPathPrefix(name)) return search(name, memo, chain, found);
  printEntry(name);
  found->slot = 0;
  if (!openSource(name, &found->source)) return Lead::Missing;
  return classify(chain, name, found);
}

const char16_t* compilerCandidate(const char16_t* name) {
  size_t nameLength = wideLength(name);
  for (uint32_t slot = kFirstIncludeDirectorySlot; slot < SearchList.count; ++slot) {
    const char16_t* candidate = candidatePath(slot, name, nameLength);
    if (candidate != nullptr && namesFile(candidate)) return candidate;
  }
  return nullptr;
}

Lead findAngle(const char16_t* name, const OpenChain& chain, Found* found) {
  printEntry(name);
  size_t nameLength = wideLength(name);
  for (uint32_t slot = kFirstIncludeDirectorySlot + QuoteOnlySlots; slot < SearchList.count;
       ++slot) {
    const char16_t* candidate = candidatePath(slot, name, nameLength);
    if (candidate == nullptr) continue;
    printEntry(candidate);
    found->slot = slot;
    if (openSource(candidate, &found->source)) return classify(chain, candidate, found);
  }
  return Lead::Missing;
}

void announceMainSource(const char16_t* path) {
  printEntry(path);
}

char* keptScanRecord(const SourceFile& source) {
  return source.kept ? source.cached->scan : nullptr;
}

bool mayKeepScanRecord(const SourceFile& source) {
  return source.kept && !source.cached->noScan;
}

void keepScanRecord(const SourceFile& source, char* record, uint64_t size) {
  if (record != nullptr && keepScan(&RunFileCache, source.cached, record, size)) return;
  ::operator delete(record);
  source.cached->noScan = true;
}
