// What a compile command says about preprocessing, taken from its words as
// GCC, Clang and MSVC read them.
#ifndef TUFLAT_DRIVER_COMPILE_OPTIONS_H
#define TUFLAT_DRIVER_COMPILE_OPTIONS_H

#include <cstdint>

#include "../output/run_state.h"
#include "compile_database.h"

// Every table and its entries are heap blocks, kept until the process exits
// or freed by freeCompileOptions.
struct CompileOptions {
  // Resolved directories, in search order: quoteOnlyCount `-iquote`
  // directories, then `-I` (and `/I`), then `-isystem`, then `-idirafter`.
  TextEntry* directories;
  uint32_t directoryCount;
  uint32_t quoteOnlyCount;
  // Lines for the define block: `#undef NAME` for each `-U` that removed no
  // earlier definition, first, then `#define NAME BODY` in order.
  TextEntry* definitions;
  uint32_t definitionCount;
  // `-include` and `/FI` files in order: the names as written (UTF-8) and
  // their resolved paths: first in the entry's directory, then along the
  // directories above.
  const char* const* forcedNames;
  TextEntry* forcedPaths;
  uint32_t forcedCount;
  // The command runs cl or clang-cl, which look for a quoted name beside
  // every file being read, the main source included, as the tool does.
  bool windowsCompiler;
};

// Splits the entry's `command` into words (POSIX shell rules, or Windows
// rules when it runs cl or clang-cl), reads `@file` response files in place,
// and fills `options`. Arguments that change preprocessing in ways the tool
// does not follow, a response file that cannot be read (kept as a word) and
// an option whose value is missing get one warning each. Uses ConvBuffer and
// ResultBuffer. Returns 1; 0 after saying why on standard error (unbalanced
// quotes, response files nested too deep, a forced include found nowhere, no
// memory), with nothing left to free.
int readCompileOptions(const CompileEntry& entry, const char* databaseName,
                       CompileOptions* options);

// Frees what readCompileOptions made, for a caller that does not keep it
// until the process exits, and leaves `options` empty.
void freeCompileOptions(CompileOptions* options);

#endif
