// Where an include's name leads: the one door between the scan and the
// search. A quoted name is tried in the SearchList slots in order (the
// includer's directory, the main source's, then the `/I` directories), an
// angle name in the `/I` directories only, and a name that begins `\\?` is
// opened as it stands; the first candidate that opens wins. The search prints
// its own progress lines. Behind the door stay the search memo, a name's
// candidates, the directory listings and the run's file cache: the scan
// reaches none of them.
#ifndef TUFLAT_SEARCH_SEARCH_H
#define TUFLAT_SEARCH_SEARCH_H

#include "../platform/os.h"
#include "source_file.h"

struct SearchMemo;

// What a name leads to. Only Opened leaves a file open.
enum class Lead : uint8_t {
  Opened,
  // A file being expanded further up the chain.
  Cycle,
  // The output file itself.
  Output,
  // No candidate opens.
  Missing,
};

// The files being expanded, outermost first: identities[0, count), each
// counted only where known[level] is set.
struct OpenChain {
  const FileIdentity* identities;
  const bool* known;
  int count;
};

// Where the opened file is: the file, and its resolved path, which stays
// valid until the next search.
struct Found {
  SourceFile source;
  const char16_t* path;
  // The SearchList slot it was found in; 0 when opened as it stands.
  uint32_t slot;
};

// Follows a quoted include's name. `memo`, when not null, is where the
// include line keeps its search memo, or null until the search leaves one
// there: the same line is searched the same way each time (see beginSearch).
Lead findQuoted(const char16_t* name, SearchMemo** memo, const OpenChain& chain, Found* found);

// Where a compiler that never looks beside the main source (slot 1) would
// find a quoted name: the first of the `/I` slots that holds a file of that
// name, resolved, valid until the next search; null when none does.
const char16_t* compilerCandidate(const char16_t* name);

// Follows an angle include's name, as a compiler looks for it: in the `/I`
// slots but those for quoted names only.
Lead findAngle(const char16_t* name, const OpenChain& chain, Found* found);

// Prints the progress line of the main source, which is opened, not searched.
void announceMainSource(const char16_t* path);

// The run keeps the bytes of some files, and with them the record of a scan
// of theirs (see replay.h), within the same bound.

// The record kept with an opened file's bytes, which a replay completes as
// it goes (the memos of its includes); null when none.
char* keptScanRecord(const SourceFile& source);
// Whether a scan of the opened file's bytes is worth recording: they are
// kept, and no record of theirs was refused.
bool mayKeepScanRecord(const SourceFile& source);
// Takes over the heap block `record`, `size` bytes, to keep with the file's
// bytes. When it does not fit (or is null), frees it, and no later scan of
// the file is recorded.
void keepScanRecord(const SourceFile& source, char* record, uint64_t size);

#endif
