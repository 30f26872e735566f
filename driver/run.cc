#include "run.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "../expand/dependencies.h"
#include "../expand/diagnostics.h"
#include "../expand/expand.h"
#include "../expand/output.h"
#include "../expand/output_file.h"
#include "../expand/progress.h"
#include "../expand/run_state.h"
#include "../platform/full_path.h"
#include "../platform/os.h"
#include "command_line.h"
#include "help.h"
#include "options.h"

#ifndef TUFLAT_VERSION
#define TUFLAT_VERSION "unknown"
#endif

namespace {

// True, after saying so, when the output names the option file or the main
// source, which creating it would destroy.
bool outputWouldDestroyInput(const char* optionName, const char* sourceName,
                             const char* outputName) {
  FileIdentity output;
  if (!identityOfNamedFile(outputName, &output)) return false;
  FileIdentity input;
  if (identityOfNamedFile(optionName, &input) && input == output) {
    complain("the output file '%s' is the option file; nothing was written", outputName);
    return true;
  }
  oemToWide(sourceName, ConvBuffer.wide, kWorkBufferChars);
  resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
  if (identityOfPath(ResultBuffer.wide, &input) && input == output) {
    complain("the output file '%s' is the main source; nothing was written", outputName);
    return true;
  }
  return false;
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

// The option file is the first file the dependency file names.
void noteOptionFile(const char* optionName) {
  FileIdentity identity;
  bool known = identityOfNamedFile(optionName, &identity) != 0;
  oemToWide(optionName, ConvBuffer.wide, kWorkBufferChars);
  resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
  noteDependency(ResultBuffer.wide, known ? &identity : nullptr, false);
}

// Creates a table's array; 0 when no memory can be had.
TextEntry* newEntries(uint32_t count) {
  return static_cast<TextEntry*>(
      ::operator new((static_cast<size_t>(count) + 1) * sizeof(TextEntry), std::nothrow));
}

int outOfMemory() {
  complain("not enough memory");
  return 1;
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
  const char* optionName = command.optionName;
  const char* sourceName = command.sourceName;
  const char* outputName = command.outputName;

  // Everything that can stop the run comes before the output is created, so
  // that a run that cannot start leaves the output path as it was.
  if (outputWouldDestroyInput(optionName, sourceName, outputName)) return 1;
  // Lives until the process exits, like the tables built from it.
  static OptionText options;
  if (!loadOptionFile(optionName, command.extraOptions, command.extraLength, &options)) return 1;
  uint32_t directories =
      collectOptions(options.text, options.length, 'I', nullptr, OptionKind::Paths);
  SearchList.entries = newEntries(directories + 2);
  if (SearchList.entries == nullptr || !locateMainSource(sourceName)) return outOfMemory();
  SourceFile mainSource;
  if (!openSource(CandidateBuffer.wide, &mainSource)) {
    complain("cannot open the main source '%s': %s", sourceName, systemErrorText(GetLastError()));
    return 1;
  }
  readSource(&mainSource, CandidateBuffer.wide);
  if (collectOptions(options.text, options.length, 'I', SearchList.entries + 2,
                     OptionKind::Paths) != directories) {
    return outOfMemory();
  }
  SearchList.count = directories + 2;
  uint32_t defines =
      collectOptions(options.text, options.length, 'D', nullptr, OptionKind::Defines);
  DefineList.entries = newEntries(defines);
  if (DefineList.entries == nullptr ||
      collectOptions(options.text, options.length, 'D', DefineList.entries, OptionKind::Defines) !=
          defines) {
    return outOfMemory();
  }
  DefineList.count = defines;
  if (!openOutput(outputName)) return 1;

  progressCount("n_I=%s\n", directories + 1);
  for (uint32_t slot = 0; slot < SearchList.count; ++slot) {
    progressWide("<%s>\n", SearchList.entries[slot].text);
  }
  progressCount("n_D=%s\n", defines);
  for (uint32_t entry = 0; entry < DefineList.count; ++entry) {
    progressWide("<%s>\n", DefineList.entries[entry].text);
  }
  // A compiler that needs the mark to read the main source as UTF-8 needs it
  // at the start of the flattened file too.
  if (startsWithByteOrderMark(mainSource.contents)) {
    writeOutput(kByteOrderMark, sizeof kByteOrderMark);
  }
  writeDefineBlock();

  writeOutputText("\n\n");
  const char* dependencyName = command.modes.dependencyName;
  if (dependencyName != nullptr) noteOptionFile(optionName);
  expandMainSource(CandidateBuffer.wide, &mainSource, command.modes);
  flushOutput();
  bool outputPlaced = closeOutput(outputName);
  bool dependenciesWritten =
      dependencyName == nullptr || writeDependencyFile(dependencyName, command.outputName);
  return reportLosses() || !outputPlaced || !dependenciesWritten ? 2 : 0;
}
