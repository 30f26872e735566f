// The include-once mode: which files the compiler reads only once, the
// conditional depth of the flattened text, and when a file need not be
// expanded again.
#ifndef TUFLAT_EXPAND_INCLUDE_ONCE_H
#define TUFLAT_EXPAND_INCLUDE_ONCE_H

#include <cstdint>

#include "../platform/os.h"
#include "directives.h"

// True when a file reached again need not be expanded: it is read only once,
// one of its expansions stood at conditional depth 0, and, for a file kept
// once by its guard alone, no `#undef` of the guard has been met since.
bool isExpandedOnce(const FileIdentity& identity);

// One file's expansion in this mode. Invariant: next <= directives.count,
// and every directive before `next` starts on a line already scanned.
struct OnceScan {
  DirectiveList directives;
  OnceClass kind;
  uint32_t next;
  // The conditional depth where the file's include line stood.
  uint32_t entryDepth;
  // The number of the tool's own guard, 0 when none is written.
  uint32_t guardNumber;
};

// Before the scan of bytes[0, count): lists and classifies the file's
// directives, remembers the file (when its identity is known), and writes
// the opening of the tool's own guard for a `#pragma once` file that is not
// the main source.
void beginOnceScan(const char* bytes, uint64_t count, const FileIdentity* identity,
                   bool isMainSource, OnceScan* scan);
// Applies the directive on the line starting at bytes[lineStart], if any.
// Returns true when it is `#pragma once`, which is written commented.
bool applyDirectiveAt(OnceScan* scan, const char* bytes, uint64_t lineStart);
// After the scan: closes the tool's guard and leaves the depth as it was.
void endOnceScan(OnceScan* scan);

#endif
