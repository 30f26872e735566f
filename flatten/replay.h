// The scan of a file whose bytes the run keeps is recorded once: what it
// wrote, which includes it followed and which angle includes it reported, in
// order. Every later expansion of those bytes replays the record instead of
// scanning them again. Includes are followed afresh each time, so only the
// scan's own work is spared; the output and the account are the same. Only
// for runs whose scans depend on nothing but the bytes: the expansion does
// not ask for it in the modes that look at the state of the run.
#ifndef TUFLAT_FLATTEN_REPLAY_H
#define TUFLAT_FLATTEN_REPLAY_H

#include <cstdint>

#include "../search/search.h"

struct ScanRecorder;
struct SearchMemo;

// Reports an angle include's name, name[0, length), on standard output.
void printAngleInclude(const char* name, uint64_t length);

// Notes that the include name[0, length) is followed now. What happens until
// resumeAfterInclude is the include's, not part of the scan's record.
ScanRecorder* suspendForInclude(const char* name, uint64_t length);
void resumeAfterInclude(ScanRecorder* recorder);

// Follows the quoted include name[0, length), as the scan does. *memo, when
// memo is not null, holds the search memo of this include line, or null until
// the follower has one to leave there: the same line of the same file is
// searched the same way every time it is replayed.
using FollowInclude = void (*)(const char* name, uint64_t length, SearchMemo** memo);

// The scan of a file's bytes, which follows their includes as it goes.
using ScanBytes = void (*)(char* bytes, uint64_t count);

// Scans bytes[0, count) of an opened file with `scan`, or replays the record
// of its scan when the run keeps its bytes and has one.
void scanOrReplay(SourceFile* source, char* bytes, uint64_t count, ScanBytes scan,
                  FollowInclude follow);

#endif
