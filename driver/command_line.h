// The command line: `tuflat [FLAGS] OPTIONS SOURCE OUTPUT`, or `--help` or
// `--version` alone.
#ifndef TUFLAT_DRIVER_COMMAND_LINE_H
#define TUFLAT_DRIVER_COMMAND_LINE_H

#include <cstddef>

#include "../expand/run_config.h"

enum class Request { Flatten, Help, Version, Stop };

// What a command line that makes a run asks for. Every text points into the
// arguments or into blocks that live until the process exits.
struct CommandLine {
  const char* optionName = nullptr;
  const char* sourceName = nullptr;
  const char* outputName = nullptr;
  bool quiet = false;
  // --strict: an include that found no file makes the status 2.
  bool strict = false;
  // --no-warnings, -w: no diagnostic lines on standard error.
  bool noWarnings = false;
  RunConfig modes;
  // The `-I` and `-D` flags in order, as option-file lines `/I...` and
  // `/D...`, each ended by an LF: extraOptions[0, extraLength).
  char* extraOptions = nullptr;
  size_t extraLength = 0;
};

// Reads the arguments into `line`. Returns Stop, after saying why on standard
// error, when they ask for nothing the tool can do.
Request readCommandLine(int argumentCount, char** arguments, CommandLine* line);

#endif
