#include "command_line.h"

#include <cstring>
#include <new>

#include "../output/diagnostics.h"
#include "help.h"

namespace {

bool is(const char* argument, const char* flag) {
  return strcmp(argument, flag) == 0;
}

// A lone `-` is a name, as usual: standard input as SOURCE.
bool isFlag(const char* argument) {
  return argument[0] == '-' && argument[1] != 0;
}

bool takesValue(const char* argument) {
  return is(argument, "--deps") || is(argument, "--no-expand") || is(argument, "-I") ||
         is(argument, "-D") || is(argument, "-o") || is(argument, "-p") ||
         is(argument, "--compile-commands") || is(argument, "--compile-commands-entry");
}

// The value of `--compile-commands-entry`: a count from 1. False when it is
// anything else.
bool readEntryChoice(const char* value, uint64_t* choice) {
  uint64_t number = 0;
  for (const char* at = value; *at != 0; ++at) {
    if (*at < '0' || *at > '9' || number > (UINT64_MAX - 9) / 10) return false;
    number = number * 10 + static_cast<uint64_t>(*at - '0');
  }
  *choice = number;
  return number > 0;
}

Request stopWithUsage(const char* format, const char* argument) {
  complain(format, argument);
  printUsage(stderr);
  return Request::Stop;
}

// The names in the order given, before `--` and after it.
struct Operands {
  const char** names;
  int count;
};

// Reads the flag arguments[*at], and its value when it takes one; a
// `--no-expand` pattern goes into `patterns`. Returns Flatten to go on reading.
Request readFlag(int argumentCount, char** arguments, int* at, const char** patterns,
                 CommandLine* line) {
  const char* argument = arguments[*at];
  if (takesValue(argument) && *at + 1 >= argumentCount) {
    return stopWithUsage("the flag '%s' needs a value", argument);
  }
  if (is(argument, "--help") || is(argument, "-h")) return Request::Help;
  if (is(argument, "--version") || is(argument, "-V")) return Request::Version;
  if (is(argument, "--once")) {
    line->modes.includeOnce = true;
  } else if (is(argument, "--line-directives")) {
    line->modes.lineDirectives = true;
  } else if (is(argument, "--line-directives=absolute")) {
    line->modes.lineDirectives = true;
    line->modes.absoluteLinePaths = true;
  } else if (is(argument, "--expand-angle")) {
    line->modes.expandAngle = true;
  } else if (is(argument, "--quiet")) {
    line->quiet = true;
  } else if (is(argument, "--strict")) {
    line->strict = true;
  } else if (is(argument, "--no-warnings") || is(argument, "-w")) {
    line->noWarnings = true;
  } else if (is(argument, "--deps")) {
    line->modes.dependencyName = arguments[++*at];
  } else if (is(argument, "--no-expand")) {
    patterns[line->modes.noExpandCount++] = arguments[++*at];
  } else if (is(argument, "--compile-commands")) {
    line->compileCommands = arguments[++*at];
  } else if (strncmp(argument, "--compile-commands=", 19) == 0) {
    line->compileCommands = argument + 19;
  } else if (is(argument, "--compile-commands-entry")) {
    const char* value = arguments[++*at];
    if (!readEntryChoice(value, &line->compileCommandsEntry)) {
      return stopWithUsage("--compile-commands-entry takes a number from 1, not '%s'", value);
    }
  } else if (argument[1] == 'p') {
    line->compileCommands = argument[2] != 0 ? argument + 2 : arguments[++*at];
  } else if (argument[1] == 'I' || argument[1] == 'D' || argument[1] == 'o') {
    const char* value = argument[2] != 0 ? argument + 2 : arguments[++*at];
    if (argument[1] == 'I') {
      line->includeDirectories[line->includeCount++] = value;
    } else if (argument[1] == 'D') {
      line->definitions[line->definitionCount++] = value;
    } else if (line->outputName != nullptr) {
      complain("the output file is named twice: '%s' and '%s'", line->outputName, value);
      return Request::Stop;
    } else {
      line->outputName = value;
    }
  } else {
    return stopWithUsage("unknown flag '%s'", argument);
  }
  return Request::Flatten;
}

// Takes OPTIONS, SOURCE and OUTPUT from the names. With `-o`, one name is
// SOURCE and two are OPTIONS SOURCE; leaving OPTIONS out needs `-o`, so
// that no SOURCE is ever taken for OUTPUT.
Request placeOperands(const Operands& operands, CommandLine* line) {
  if (line->outputName != nullptr) {
    if (operands.count >= 3) {
      complain("the output file is named twice: '%s' and '%s'", line->outputName,
               operands.names[2]);
      return Request::Stop;
    }
    if (operands.count == 0) {
      printUsage(stderr);
      return Request::Stop;
    }
    if (operands.count == 2) line->optionName = operands.names[0];
    line->sourceName = operands.names[operands.count - 1];
    line->outputToStandardOutput = is(line->outputName, "-");
    return Request::Flatten;
  }
  if (operands.count < 3) {
    // Taking the last name for OUTPUT could overwrite a source.
    if (operands.count > 0) complain("no output file: name it third, or with -o OUTPUT");
    printUsage(stderr);
    return Request::Stop;
  }
  line->optionName = operands.names[0];
  line->sourceName = operands.names[1];
  line->outputName = operands.names[2];
  // A name beyond the third is likely a slip, before `--` or after it.
  for (int at = 3; at < operands.count; ++at) {
    complain("warning: the argument '%s' after OUTPUT is ignored", operands.names[at]);
  }
  return Request::Flatten;
}

}  // namespace

Request readCommandLine(int argumentCount, char** arguments, CommandLine* line) {
  size_t listRoom = static_cast<size_t>(argumentCount);
  auto* patterns = new (std::nothrow) const char*[listRoom];
  line->includeDirectories = new (std::nothrow) const char*[listRoom];
  line->definitions = new (std::nothrow) const char*[listRoom];
  Operands operands = {new (std::nothrow) const char*[listRoom], 0};
  if (patterns == nullptr || line->includeDirectories == nullptr || line->definitions == nullptr ||
      operands.names == nullptr) {
    complain("not enough memory");
    return Request::Stop;
  }
  line->modes.noExpand = patterns;

  Request request = Request::Flatten;
  bool flagsEnded = false;
  for (int at = 1; at < argumentCount && request == Request::Flatten; ++at) {
    const char* argument = arguments[at];
    if (!flagsEnded && is(argument, "--")) {
      flagsEnded = true;
    } else if (flagsEnded || !isFlag(argument)) {
      operands.names[operands.count++] = argument;
    } else {
      request = readFlag(argumentCount, arguments, &at, patterns, line);
    }
  }
  if (request == Request::Flatten) request = placeOperands(operands, line);
  line->modes.mainSourceFromStandardInput =
      request == Request::Flatten && is(line->sourceName, "-");
  delete[] operands.names;
  return request;
}
