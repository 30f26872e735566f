// The dependency file: every file a run read, as make rules.
#ifndef TUFLAT_OUTPUT_DEPENDENCIES_H
#define TUFLAT_OUTPUT_DEPENDENCIES_H

#include <cstddef>

#include "../platform/os.h"

// Writes `name` as a make rule reads it into `escaped`, which has room for
// 2 * strlen(name) + 1 bytes: a blank, a tab or `#` gets a backslash, and the
// backslashes right before it are doubled; `$` becomes `$$`. Returns the
// length written, before its terminator.
size_t escapeForMake(const char* name, char* escaped);

// Remembers that the file at a resolved path was read, unless that path was
// read before. A header gets an empty rule of its own. `identity` may be null.
void noteDependency(const char16_t* resolvedPath, const FileIdentity* identity, bool header);

// Writes `target:` followed by every file noted, in order, then an empty rule
// per header, to the file `name`, which must be neither the output nor a
// file read. Returns 0, after saying why, when it is not written whole.
int writeDependencyFile(const char* name, const char* target);

#endif
