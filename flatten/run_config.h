// The opt-in modes of one run, as the expansion needs them. The driver fills
// one value from the command line; every field's zero means the default mode.
#ifndef TUFLAT_FLATTEN_RUN_CONFIG_H
#define TUFLAT_FLATTEN_RUN_CONFIG_H

#include <cstdint>

#include "../output/run_state.h"

struct RunConfig {
  // A file the compiler would read once is expanded once where that is safe.
  bool includeOnce = false;
  // `#line` directives name the original file and line of every span.
  bool lineDirectives = false;
  // They name files by their full paths, not relative to the current directory.
  bool absoluteLinePaths = false;
  // Angle includes are expanded too when a `/I` directory holds them.
  bool expandAngle = false;
  // `--deps FILE`: every file read is remembered for this file; null when off.
  const char* dependencyName = nullptr;
  // Include names matching one of these are copied, not followed:
  // noExpand[0, noExpandCount), NUL-terminated, living until the process exits.
  const char* const* noExpand = nullptr;
  uint32_t noExpandCount = 0;
  // The main source is standard input, which no path names: the dependency
  // file leaves it out.
  bool mainSourceFromStandardInput = false;
  // The main source as its user named it, which diagnostics call it by.
  const char* sourceName = nullptr;
  // Files read before the main source's first line, as a compiler's
  // `-include` reads them: forcedPaths[0, forcedCount), resolved, opened as
  // they stand; forcedNames, as the build wrote them, for the comment lines.
  const TextEntry* forcedPaths = nullptr;
  const char* const* forcedNames = nullptr;
  uint32_t forcedCount = 0;
  // The directories came from a compiler that never looks beside the main
  // source: a header found there gets a warning when it would read another.
  bool compilerSkipsMainDirectory = false;
};

#endif
