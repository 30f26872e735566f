#include "command_line.h"

#include <cstring>
#include <new>

#include "../expand/diagnostics.h"
#include "help.h"

namespace {

bool is(const char* argument, const char* flag) {
  return strcmp(argument, flag) == 0;
}

Request stopWithUsage(const char* format, const char* argument) {
  complain(format, argument);
  printUsage(stderr);
  return Request::Stop;
}

// Appends `/<letter><value>` and an LF to the extra option lines, which have
// room for every argument's bytes plus three.
void appendOption(CommandLine* line, char letter, const char* value) {
  size_t length = strlen(value);
  char* end = line->extraOptions + line->extraLength;
  end[0] = '/';
  end[1] = letter;
  memcpy(end + 2, value, length);
  end[2 + length] = '\n';
  line->extraLength += length + 3;
}

}  // namespace

Request readCommandLine(int argumentCount, char** arguments, CommandLine* line) {
  size_t argumentBytes = 0;
  for (int at = 1; at < argumentCount; ++at) argumentBytes += strlen(arguments[at]) + 3;
  line->extraOptions = new (std::nothrow) char[argumentBytes + 1];
  auto** patterns = new (std::nothrow) const char*[argumentCount];
  if (line->extraOptions == nullptr || patterns == nullptr) {
    complain("not enough memory");
    return Request::Stop;
  }
  line->modes.noExpand = patterns;

  int at = 1;
  for (; at < argumentCount; ++at) {
    const char* argument = arguments[at];
    // A lone `-` is a name, as usual.
    if (argument[0] != '-' || argument[1] == 0) break;
    if (is(argument, "--")) {
      ++at;
      break;
    }
    bool takesValue = is(argument, "--deps") || is(argument, "--no-expand") || is(argument, "-I") ||
                      is(argument, "-D");
    if (takesValue && at + 1 >= argumentCount) {
      return stopWithUsage("the flag '%s' needs a value", argument);
    }
    if (is(argument, "--help") || is(argument, "-h")) return Request::Help;
    if (is(argument, "--version") || is(argument, "-V")) return Request::Version;
    if (is(argument, "--once")) {
      line->modes.includeOnce = true;
    } else if (is(argument, "--line-directives")) {
      line->modes.lineDirectives = true;
    } else if (is(argument, "--expand-angle")) {
      line->modes.expandAngle = true;
    } else if (is(argument, "--quiet")) {
      line->quiet = true;
    } else if (is(argument, "--strict")) {
      line->strict = true;
    } else if (is(argument, "--no-warnings") || is(argument, "-w")) {
      line->noWarnings = true;
    } else if (is(argument, "--deps")) {
      line->modes.dependencyName = arguments[++at];
    } else if (is(argument, "--no-expand")) {
      patterns[line->modes.noExpandCount++] = arguments[++at];
    } else if (argument[1] == 'I' || argument[1] == 'D') {
      appendOption(line, argument[1], argument[2] != 0 ? argument + 2 : arguments[++at]);
    } else {
      return stopWithUsage("unknown flag '%s'", argument);
    }
  }
  // Arguments after the three names are ignored.
  if (argumentCount - at < 3) {
    printUsage(stderr);
    return Request::Stop;
  }
  line->optionName = arguments[at];
  line->sourceName = arguments[at + 1];
  line->outputName = arguments[at + 2];
  return Request::Flatten;
}
