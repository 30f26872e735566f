// The progress account on standard output. Every line of it goes through
// these, so that --quiet can leave all of it out and still let the output,
// which may itself be standard output, through.
#ifndef TUFLAT_EXPAND_PROGRESS_H
#define TUFLAT_EXPAND_PROGRESS_H

#include <cstddef>
#include <cstdint>

// False from when the run is asked to be quiet.
extern bool ProgressShown;

// `label`, the count in decimal, and an LF: "l=12".
void progressCount(const char* label, uint64_t count);
// A line of `format`, whose one `%s` takes wide text.
void progressWide(const char* format, const char16_t* text);
// `before`, name[0, length) as it stands, then `after`.
void progressBytes(const char* before, const char* name, size_t length, const char* after);

#endif
