// Printing wide text whose every character has a one-byte form.
#ifndef TUFLAT_PLATFORM_NARROW_PRINT_H
#define TUFLAT_PLATFORM_NARROW_PRINT_H

// True when every character of `text` is at most `highest`.
bool allAtMost(const char16_t* text, char16_t highest);

// Prints `format`, whose only conversion is one %s, with `text` in its place,
// each character as the byte of its value, or `?` when that is above
// `highest` (at most 0xFF). The text goes out in a few large pieces.
void printNarrowed(const char* format, const char16_t* text, char16_t highest);

#endif
