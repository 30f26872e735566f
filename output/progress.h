// The progress account on standard output. Every line of it goes through
// these, so that --quiet can leave all of it out and still let the output,
// which may itself be standard output, through. Each line that fits the
// line buffer of printLine goes out in one write to the standard output's
// buffer.
#ifndef TUFLAT_OUTPUT_PROGRESS_H
#define TUFLAT_OUTPUT_PROGRESS_H

#include <cstddef>
#include <cstdint>

// False from when the run is asked to be quiet.
extern bool ProgressShown;

// A line of `format`, whose one `%s` takes the count in decimal: "l=12".
void progressCount(const char* format, uint64_t count);
// A line of `format`, whose one `%s` takes wide text.
void progressWide(const char* format, const char16_t* text);
// A line of `format`, whose one `%s` takes name[0, length) as it stands.
void progressBytes(const char* format, const char* name, size_t length);
// Lines already formatted, lines[0, length), as they stand.
void progressLines(const char* lines, size_t length);

#endif
