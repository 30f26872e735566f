// Patterns for include names: `*` matches any run of characters, `?` one,
// and `/` and `\` match each other.
#ifndef TUFLAT_FLATTEN_NAME_PATTERN_H
#define TUFLAT_FLATTEN_NAME_PATTERN_H

#include <cstddef>

// Whether all of name[0, length) matches the NUL-terminated pattern.
bool matchesPattern(const char* pattern, const char* name, size_t length);

#endif
