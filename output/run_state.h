// The run's process-wide state: the output, the two tables and the work buffers.
// None of it is freed before the process exits.
#ifndef TUFLAT_OUTPUT_RUN_STATE_H
#define TUFLAT_OUTPUT_RUN_STATE_H

#include <cstddef>
#include <cstdint>

#include "../platform/os.h"
#include "../platform/simple_file.h"

// A heap-allocated, NUL-terminated wide text; `count` is its length plus one.
struct TextEntry {
  char16_t* text;
  uint32_t count;
};

// An ordered table of texts; `entries` has room for at least `count` of them.
struct TextTable {
  uint32_t count;
  TextEntry* entries;
};

// A work buffer is used either as bytes or as wide text, never both at once.
constexpr size_t kWorkBufferBytes = 65536;
constexpr size_t kWorkBufferChars = kWorkBufferBytes / sizeof(char16_t);
union WorkBuffer {
  char bytes[kWorkBufferBytes];
  char16_t wide[kWorkBufferChars];
};

extern SimpleFile OutputFile;
// Set when the output's identity is known, so that it is never read as an input.
extern FileIdentity OutputIdentity;
extern bool OutputIdentityKnown;

// Slot 0: the directory of the file being expanded, written as its path plus
// `\..`. Slot 1: the main source's directory. Slots 2 and up: `/I` directories.
extern TextTable SearchList;
// The first QuoteOnlySlots of the `/I` slots are for quoted names only, as a
// compiler's `-iquote` directories are.
extern uint32_t QuoteOnlySlots;
// `#define` texts in option-file order.
extern TextTable DefineList;

// Narrow define text, wide text before resolution, resolved candidate paths.
extern WorkBuffer ConvBuffer;
// The main source's full path; during a search, the joined candidate.
extern WorkBuffer CandidateBuffer;
// A resolved `/I` path, the main source's directory, an include line's name.
extern WorkBuffer ResultBuffer;

// The identity of the existing file `name` (narrow) or `path` (wide), or 0
// when it cannot be had. The file is opened without access, only to ask.
int identityOfNamedFile(const char* name, FileIdentity* identity);
int identityOfPath(const char16_t* path, FileIdentity* identity);

// True when the name `name` (narrow, links followed) is a directory, which
// opens as no file. Uses ConvBuffer and ResultBuffer.
bool namesDirectory(const char* name);
// True when the resolved `path` names a file that is no directory.
bool namesFile(const char16_t* path);

// A new entry holding `length` characters of `text` followed by `suffix`.
// Returns 0 when no memory can be had.
int makeTextEntry(const char16_t* text, size_t length, const char16_t* suffix, TextEntry* entry);

#endif
