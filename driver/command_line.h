// The command line: `tuflat [FLAGS] OPTIONS SOURCE OUTPUT`, `tuflat [FLAGS]
// [OPTIONS] SOURCE -o OUTPUT`, or `--help` or `--version` alone. Flags may
// stand anywhere before `--`, as GNU tools take them.
#ifndef TUFLAT_DRIVER_COMMAND_LINE_H
#define TUFLAT_DRIVER_COMMAND_LINE_H

#include <cstdint>

#include "../flatten/run_config.h"

enum class Request { Flatten, Help, Version, Stop };

// What a command line that makes a run asks for. Every text points into the
// arguments or into blocks that live until the process exits.
struct CommandLine {
  // Null when no option file is given.
  const char* optionName = nullptr;
  const char* sourceName = nullptr;
  const char* outputName = nullptr;
  // SOURCE is `-`: the main source is standard input.
  bool sourceFromStandardInput = false;
  // `-o -`: the flattened text goes to standard output.
  bool outputToStandardOutput = false;
  bool quiet = false;
  // --strict: an include that found no file makes the status 2.
  bool strict = false;
  // --no-warnings, -w: no diagnostic lines on standard error.
  bool noWarnings = false;
  // -p, --compile-commands: the compilation database, or a directory holding
  // one, which the run replaces with the database's own name; null when none
  // is given.
  const char* compileCommands = nullptr;
  // --compile-commands-entry N: which of the entries for SOURCE, from 1; 0
  // for the first.
  uint64_t compileCommandsEntry = 0;
  RunConfig modes;
  // The values of the `-I` and `-D` flags in order, verbatim.
  const char** includeDirectories = nullptr;
  uint32_t includeCount = 0;
  const char** definitions = nullptr;
  uint32_t definitionCount = 0;
};

// Reads the arguments into `line`. Returns Stop, after saying why on standard
// error, when they ask for nothing the tool can do.
Request readCommandLine(int argumentCount, char** arguments, CommandLine* line);

#endif
