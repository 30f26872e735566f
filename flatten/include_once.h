// The include-once mode: which files the compiler reads only once, the
// conditional depth of the flattened text, and when a file need not be
// expanded again.
//
// The depth counts every open `#if`, `#ifdef` and `#ifndef` along the chain
// of files being expanded. A file's own guard, and the tool's guard around a
// `#pragma once` file, count too, unless the compiler surely enters them:
// their macro appeared in no `#define` met so far (in any branch, the define
// block included), and no header the tool leaves unread may have defined it.
// A copy's includes count as read only at depth 0.
#ifndef TUFLAT_FLATTEN_INCLUDE_ONCE_H
#define TUFLAT_FLATTEN_INCLUDE_ONCE_H

#include <cstdint>

#include "../output/run_state.h"
#include "../platform/os.h"
#include "directives.h"

// Before the main source: the names the define block defines.
void beginOnceRun(const TextTable& defines);

// True when a file reached again need not be expanded: the compiler would
// read nothing of it. That is so once a copy stood at depth 0 and either the
// file is one guard block whose macro no `#undef` (or `pop_macro`) has met
// since, or its `#pragma once` stood outside every conditional but the
// tool's own guard.
bool isExpandedOnce(const FileIdentity& identity);

// A header the compiler reads and the tool does not (left out by a pattern,
// too deep, or the output itself): from now on any macro may be defined.
void noteUnreadHeader();
// A header the tool does not find: the same at depth 0. In a conditional
// block it is taken for one the compiler skips too, as it could not read it
// either without a directory the tool was not given.
void noteMissingHeader();

// One file's expansion in this mode.
struct OnceScan {
  // The conditional depth where the file's include line stood.
  uint32_t entryDepth;
  // The number of the tool's own guard, 0 when none is written.
  uint32_t guardNumber;
  // The file's record, or ~0 when it has none.
  uint32_t record;
  // The file's own guard, and the tool's, count in the depth.
  bool ownGuardCounted;
  bool wrapperCounted;
};

// Before the scan of a file's bytes, with its directives (null when they
// could not be listed) and their classification: remembers the file (when its
// identity is known), and writes the opening of the tool's own guard for a
// `#pragma once` file that is not the main source.
void beginOnceScan(const char* bytes, const DirectiveList* directives, const OnceClass& kind,
                   const FileIdentity* identity, bool isMainSource, OnceScan* scan);
// Applies directives.items[at], met in the scan; `ownGuard` when it opens or
// closes the file's own guard.
void applyOnceDirective(const OnceScan& scan, const char* bytes, const DirectiveList& directives,
                        uint32_t at, bool ownGuard);
// After the scan: closes the tool's guard and leaves the depth as it was.
void endOnceScan(const OnceScan& scan);

#endif
