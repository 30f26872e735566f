#include "run.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "../base/bounds.h"
#include "../flatten/expand.h"
#include "../output/dependencies.h"
#include "../output/diagnostics.h"
#include "../output/output.h"
#include "../output/output_file.h"
#include "../output/progress.h"
#include "../output/run_state.h"
#include "../platform/full_path.h"
#include "../platform/os.h"
#include "command_line.h"
#include "compile_database.h"
#include "compile_options.h"
#include "help.h"
#include "options.h"

#ifndef TUFLAT_VERSION
#define TUFLAT_VERSION "unknown"
#endif

namespace {

// The identity of the file behind standard input or output; 0 when unknown.
int identityOfStandardHandle(DWORD which, FileIdentity* identity) {
  HANDLE copy = copyStandardHandle(which);
  if (copy == INVALID_HANDLE_VALUE) return 0;
  // A character device, such as a terminal or the null device, is written as
  // before: nothing there can be corrupted by progress lines.
  int known = GetFileType(copy) != FILE_TYPE_CHAR && getFileIdentity(copy, identity);
  CloseHandle(copy);
  return known;
}

// True when OUTPUT names the file that standard output already writes to,
// as /dev/stdout or a redirection does.
bool namesStandardOutput(const char* outputName) {
  FileIdentity output;
  FileIdentity standard;
  return identityOfStandardHandle(STD_OUTPUT_HANDLE, &standard) &&
         identityOfNamedFile(outputName, &output) && output == standard;
}

// True, after saying so, when the output names the option file or the main
// source, which creating it would destroy.
bool outputWouldDestroyInput(const CommandLine& command) {
  const char* outputName = command.outputName;
  FileIdentity output;
  if (!identityOfNamedFile(outputName, &output)) return false;
  FileIdentity input;
  if (command.optionName != nullptr && identityOfNamedFile(command.optionName, &input) &&
      input == output) {
    complain("the output file '%s' is the option file; nothing was written", outputName);
    return true;
  }
  bool sourceKnown;
  if (command.modes.mainSourceFromStandardInput) {
    sourceKnown = identityOfStandardHandle(STD_INPUT_HANDLE, &input) != 0;
  } else {
    oemToWide(command.sourceName, ConvBuffer.wide, kWorkBufferChars);
    resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
    sourceKnown = identityOfPath(ResultBuffer.wide, &input) != 0;
  }
  if (sourceKnown && input == output) {
    complain("the output file '%s' is the main source; nothing was written", outputName);
    return true;
  }
  return false;
}

// A copy of standard output's handle for the flattened text, after which the
// progress account goes to standard error, so that the two never mix.
// INVALID_HANDLE_VALUE, after saying why, when there is none.
HANDLE takeStandardOutput() {
  HANDLE output = copyStandardHandle(STD_OUTPUT_HANDLE);
  if (output == INVALID_HANDLE_VALUE) {
    complain("cannot write the output to standard output: %s", systemErrorText(GetLastError()));
    return output;
  }
  printToStandardError();
  bufferStandardOutput();
  return output;
}

// Reads the option file into `options`; 0, after saying why, when it cannot be.
int loadOptions(const char* optionName, OptionText* options) {
  if (namesDirectory(optionName)) {
    complain("cannot open the option file '%s': is a directory", optionName);
    return 0;
  }
  return loadOptionFile(optionName, options);
}

// Opens the main source, whose full path locateMainSource left in
// CandidateBuffer, or takes standard input. 0, after saying why, when it
// cannot be opened.
int openMainSource(const CommandLine& command, SourceFile* mainSource) {
  if (command.modes.mainSourceFromStandardInput) {
    HANDLE input = copyStandardHandle(STD_INPUT_HANDLE);
    if (input != INVALID_HANDLE_VALUE) {
      adoptSource(input, mainSource);
      return 1;
    }
  } else if (openSource(CandidateBuffer.wide, mainSource)) {
    return 1;
  }
  DWORD error = GetLastError();
  const char* name = command.sourceName;
  complain("cannot open the main source '%s': %s", name,
           namesDirectory(name) ? "is a directory" : systemErrorText(error));
  return 0;
}

// Leaves the main source's full path in CandidateBuffer and puts its directory
// into slots 0 and 1, which share one text.
int locateMainSource(const char* sourceName) {
  oemToWide(sourceName, ConvBuffer.wide, kWorkBufferChars);
  resolveFullPath(ConvBuffer.wide, CandidateBuffer.wide, kWorkBufferBytes);
  // The directory is the unresolved name followed by `\..`, resolved.
  static const char16_t kParent[] = u"\\..";
  size_t length = wideLength(ConvBuffer.wide);
  if (length + 3 < kWorkBufferChars) {
    memcpy(ConvBuffer.wide + length, kParent, sizeof kParent);
  } else {
    ConvBuffer.wide[0] = 0;
  }
  size_t directoryLength = resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
  if (!makeTextEntry(ResultBuffer.wide, directoryLength, u"", &SearchList.entries[0])) return 0;
  SearchList.entries[1] = SearchList.entries[0];
  return 1;
}

// The compilation database and the option file are the first files the
// dependency file names.
void noteInputFile(const char* name) {
  FileIdentity identity;
  bool known = identityOfNamedFile(name, &identity) != 0;
  oemToWide(name, ConvBuffer.wide, kWorkBufferChars);
  resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
  noteDependency(ResultBuffer.wide, known ? &identity : nullptr, false);
}

// Creates a table's array; 0 when no memory can be had.
TextEntry* newEntries(uint32_t count) {
  return static_cast<TextEntry*>(
      ::operator new((static_cast<size_t>(count) + 1) * sizeof(TextEntry), std::nothrow));
}

// The build's entries, of which there may be none, and no table then.
void copyEntries(const TextEntry* entries, uint32_t count, TextEntry* table) {
  if (count > 0) memcpy(table, entries, count * sizeof(TextEntry));
}

// The options of a kind the option file gives; with a table, filled into it.
uint32_t collectFileOptions(const OptionText& options, OptionKind kind, TextEntry* table) {
  char letter = kind == OptionKind::Paths ? 'I' : 'D';
  return collectOptions(options.text, options.length, letter, table, kind);
}

// The option file's options of a kind, then the command line's `values`, into
// `table`, which has room for them all. False when memory ran out.
bool fillOptions(const OptionText& options, OptionKind kind, const char* const* values,
                 uint32_t valueCount, TextEntry* table) {
  uint32_t fromFile = collectFileOptions(options, kind, nullptr);
  return collectFileOptions(options, kind, table) == fromFile &&
         collectCommandLineOptions(values, valueCount, table + fromFile, kind) == valueCount;
}

// Fills DefineList from the build's entry, the option file, then the command
// line; 0 when memory ran out.
int makeDefineList(const OptionText& options, const CommandLine& command,
                   const CompileOptions& build) {
  uint32_t defines = build.definitionCount +
                     collectFileOptions(options, OptionKind::Defines, nullptr) +
                     command.definitionCount;
  DefineList.entries = newEntries(defines);
  if (DefineList.entries == nullptr) return 0;
  copyEntries(build.definitions, build.definitionCount, DefineList.entries);
  if (!fillOptions(options, OptionKind::Defines, command.definitions, command.definitionCount,
                   DefineList.entries + build.definitionCount)) {
    return 0;
  }
  DefineList.count = defines;
  return 1;
}

int outOfMemory() {
  complain("not enough memory");
  return 1;
}

// Reads the option file and the main source, and fills the search list and
// the definitions: the build's first, then the option file's, then the
// command line's. 0 when the run can go on; 1, after saying why, when not.
int readInputs(const CommandLine& command, const CompileOptions& build, SourceFile* mainSource) {
  // Lives until the process exits, like the tables built from it. Without an
  // option file, the command line gives every option.
  static char noOptionText[1];
  static OptionText options = {noOptionText, 0};
  if (command.optionName != nullptr && !loadOptions(command.optionName, &options)) return 1;
  uint32_t directories = build.directoryCount +
                         collectFileOptions(options, OptionKind::Paths, nullptr) +
                         command.includeCount;
  SearchList.entries = newEntries(directories + 2);
  // Standard input is named as a file of the current directory would be.
  const char* sourceName =
      command.modes.mainSourceFromStandardInput ? "<stdin>" : command.sourceName;
  if (SearchList.entries == nullptr || !locateMainSource(sourceName)) return outOfMemory();
  if (!openMainSource(command, mainSource)) return 1;
  readSource(mainSource, CandidateBuffer.wide);
  copyEntries(build.directories, build.directoryCount, SearchList.entries + 2);
  QuoteOnlySlots = build.quoteOnlyCount;
  if (!fillOptions(options, OptionKind::Paths, command.includeDirectories, command.includeCount,
                   SearchList.entries + 2 + build.directoryCount)) {
    return outOfMemory();
  }
  SearchList.count = directories + 2;
  return makeDefineList(options, command, build) ? 0 : outOfMemory();
}

// Takes the options of the build's entry for the main source from the
// compilation database, and the files to read before its first line into
// the modes. 0, after saying why, when they cannot be had.
int readBuildOptions(CommandLine* command, CompileOptions* build) {
  if (command->modes.mainSourceFromStandardInput) {
    complain("a compilation database names no entry for standard input; name SOURCE as a file");
    return 0;
  }
  // Kept until the process exits, like the entry's texts and the tables
  // made from them.
  command->compileCommands = databasePath(command->compileCommands);
  const char* database = command->compileCommands;
  // The search reads the source's path before it uses the work buffers.
  oemToWide(command->sourceName, ConvBuffer.wide, kWorkBufferChars);
  resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
  static CompileEntry entry;
  if (!findCompileEntry(database, ResultBuffer.wide, command->sourceName,
                        command->compileCommandsEntry, &entry) ||
      !readCompileOptions(entry, database, build)) {
    return 0;
  }
  RunConfig& modes = command->modes;
  modes.forcedPaths = build->forcedPaths;
  modes.forcedNames = build->forcedNames;
  modes.forcedCount = build->forcedCount;
  modes.compilerSkipsMainDirectory = !build->windowsCompiler;
  return 1;
}

// The account's first lines: the search directories and the definitions.
void printTables() {
  progressCount("n_I=%s\n", SearchList.count - 1);
  for (uint32_t slot = 0; slot < SearchList.count; ++slot) {
    progressWide("<%s>\n", SearchList.entries[slot].text);
  }
  progressCount("n_D=%s\n", DefineList.count);
  for (uint32_t entry = 0; entry < DefineList.count; ++entry) {
    progressWide("<%s>\n", DefineList.entries[entry].text);
  }
}

// The output's head: the define block and two LFs, after a byte-order mark
// where the main source has one, since a compiler that needs the mark to read
// the main source as UTF-8 needs it at the start of the flattened file too.
void writeHead(const SourceFile& mainSource) {
  if (startsWithByteOrderMark(mainSource.contents)) {
    writeOutput(kByteOrderMark, sizeof kByteOrderMark);
  }
  writeDefineBlock();
  writeOutputText("\n\n");
}

// Expands the main source into the open output, then gives the output its
// name and writes the dependency file. Returns the run's status.
int flattenAndFinish(const CommandLine& command, SourceFile* mainSource) {
  const char* dependencyName = command.modes.dependencyName;
  if (dependencyName != nullptr && command.compileCommands != nullptr) {
    noteInputFile(command.compileCommands);
  }
  if (dependencyName != nullptr && command.optionName != nullptr) {
    noteInputFile(command.optionName);
  }
  expandMainSource(CandidateBuffer.wide, mainSource, command.modes);
  flushOutput();
  saveBoundCounts();
  bool outputPlaced = closeOutput(command.outputName);
  reportUnshownDiagnostics();
  bool dependenciesWritten =
      dependencyName == nullptr || writeDependencyFile(dependencyName, command.outputName);
  bool strictFailed = command.strict && reportMissingIncludes();
  return reportLosses() || !outputPlaced || !dependenciesWritten || strictFailed ? 2 : 0;
}

}  // namespace

int runTuflat(int argumentCount, char** arguments) {
  prepareProcess();
  bufferStandardOutput();
  // Lives until the process exits: the option file and the modes point into it.
  static CommandLine command;
  switch (readCommandLine(argumentCount, arguments, &command)) {
    case Request::Help:
      printHelp();
      return reportLosses() ? 2 : 0;
    case Request::Version:
      puts("tuflat " TUFLAT_VERSION);
      return reportLosses() ? 2 : 0;
    case Request::Stop:
      return 1;
    case Request::Flatten:
      break;
  }
  ProgressShown = !command.quiet;
  WarningsShown = !command.noWarnings;
  command.modes.sourceName = command.sourceName;
  bool toStandardOutput = command.outputToStandardOutput || namesStandardOutput(command.outputName);
  HANDLE output = toStandardOutput ? takeStandardOutput() : INVALID_HANDLE_VALUE;
  if (toStandardOutput && output == INVALID_HANDLE_VALUE) return 1;

  // Everything that can stop the run comes before the output is created, so
  // that a run that cannot start leaves the output path as it was.
  if (!toStandardOutput && outputWouldDestroyInput(command)) return 1;
  // Lives until the process exits: the tables and the modes point into it.
  static CompileOptions build;
  if (command.compileCommands != nullptr && !readBuildOptions(&command, &build)) return 1;
  SourceFile mainSource;
  if (readInputs(command, build, &mainSource) != 0) return 1;
  if (toStandardOutput) {
    useOutputHandle(output);
  } else if (!openOutput(command.outputName)) {
    return 1;
  }
  printTables();
  writeHead(mainSource);
  return flattenAndFinish(command, &mainSource);
}
