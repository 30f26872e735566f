// The option file: `/I<directory>` and `/D<name>[=<value>]` lines, `#`
// comments, free spacing.
#ifndef TUFLAT_DRIVER_OPTIONS_H
#define TUFLAT_DRIVER_OPTIONS_H

#include <cstddef>
#include <cstdint>

#include "../output/run_state.h"

enum class OptionKind { Paths, Defines };

// The normalised option text: text[0, length) with at least one byte of room
// after it. Lives until the process exits.
struct OptionText {
  char* text;
  uint64_t length;
};

// A new entry holding pieces[0, count), of pieceBytes bytes each, OEM text,
// one after another. Returns 0 when a piece cannot be converted or no memory
// can be had.
int makeEntryFromPieces(const char* const* pieces, const size_t* pieceBytes, int count,
                        TextEntry* entry);

// The define text `#define NAME BODY` for the value `NAME[=BODY]`; `bareBody`
// stands for the body when the value has no `=`. An empty body after `=`
// keeps the space after the name.
int makeDefineEntry(const char* value, const char* bareBody, TextEntry* entry);

// Rewrites buffer[0, count) in place: CRs and comments dropped, spacing runs
// made one space, blank lines dropped. Returns the new length.
uint64_t normaliseOptionText(char* buffer, uint64_t count);

// Counts the lines of `text` that are `letter` options; when `table` is given,
// also fills one entry per option into it, in order. Returns the count; when
// filling, fewer only if memory ran out.
uint32_t collectOptions(char* text, uint64_t length, char letter, TextEntry* table,
                        OptionKind kind);

// Fills table[0, count) from command-line values, taken verbatim: a
// directory resolved against the current directory, or a definition
// `name[=body]`, whose body is 1 when no `=` is given, as compilers take
// `-D`. Returns how many were made: fewer only if memory ran out.
uint32_t collectCommandLineOptions(const char* const* values, uint32_t count, TextEntry* table,
                                   OptionKind kind);

// Opens, reads and normalises the option file. Returns 0, after saying why,
// when the file cannot be opened or read into memory.
int loadOptionFile(const char* name, OptionText* options);

// Writes one line per DefineList entry to the output.
void writeDefineBlock();

#endif
