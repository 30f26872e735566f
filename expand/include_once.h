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

// One file's expansion in this mode.
struct OnceScan {
  // The conditional depth where the file's include line stood.
  uint32_t entryDepth;
  // The number of the tool's own guard, 0 when none is written.
  uint32_t guardNumber;
};

// Before the scan of a file's bytes, with its directives (null when they
// could not be listed) and their classification: remembers the file (when its
// identity is known), and writes the opening of the tool's own guard for a
// `#pragma once` file that is not the main source.
void beginOnceScan(const char* bytes, const DirectiveList* directives, const OnceClass& kind,
                   const FileIdentity* identity, bool isMainSource, OnceScan* scan);
// Applies directives.items[at], met in the scan; its own guard is not counted.
void applyOnceDirective(const OnceScan& scan, const char* bytes, const DirectiveList& directives,
                        uint32_t at, bool ownGuard);
// After the scan: closes the tool's guard and leaves the depth as it was.
void endOnceScan(const OnceScan& scan);

#endif
