#include "options.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "../output/diagnostics.h"
#include "../output/output.h"
#include "../platform/full_path.h"

namespace {

constexpr char kDefine[] = "#define ";

// The directory for the value, resolved against the current directory. A
// value too long for a path resolves to the bare prefix, which opens nothing.
int makePathEntry(const char* value, TextEntry* entry) {
  oemToWide(value, ConvBuffer.wide, kWorkBufferChars);
  size_t length = resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
  return makeTextEntry(ResultBuffer.wide, length, u"", entry);
}

bool isBlank(char byte) {
  return byte == ' ' || byte == '\t';
}

// The first byte of text[at, end) that is no CR, which the normalisation
// drops; `end` when there is none.
uint64_t skipCrs(const char* text, uint64_t at, uint64_t end) {
  while (at < end && text[at] == '\r') ++at;
  return at;
}

// The file's line `line` gets a warning: the text of `format`, shortened to a line.
void warnAboutLine(const char* name, uint64_t line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

void warnAboutLine(const char* name, uint64_t line, const char* format, ...) {
  if (!countDiagnostic(Diagnostic::OptionLine)) return;
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  printDiagnostic(Diagnostic::OptionLine, name, line, "%s", text);
}

// Warns when the line `line`, whose text starts at text[at] (no blank) and
// ends at text[end], looks like an option but is none, or is one with a
// space its writer hardly meant. `commentLine`, when not 0, is an indented
// comment line since the last line of text.
void checkOptionLine(const char* name, uint64_t line, const char* text, uint64_t at, uint64_t end,
                     bool indented, uint64_t commentLine) {
  uint64_t second = skipCrs(text, at + 1, end);
  char letter = second < end ? text[second] : 0;
  bool upper = letter == 'I' || letter == 'D';
  if (text[at] == '-') {
    if (upper) {
      warnAboutLine(name, line, "a line that begins with -%c is ignored; options begin with /%c",
                    letter, letter);
    }
    return;
  }
  if (text[at] != '/') return;
  if (letter == 'i' || letter == 'd') {
    warnAboutLine(name, line,
                  "a line that begins with /%c is ignored; options begin with /%c, in upper case",
                  letter, letter - 'a' + 'A');
  } else if (upper && indented) {
    warnAboutLine(name, line, "an indented /%c line is ignored; options begin in the first column",
                  letter);
  } else if (upper && commentLine != 0) {
    warnAboutLine(name, line,
                  "this /%c line is ignored: the indented comment on line %" PRIu64
                  " leaves a space at its start; begin comment lines in the first column",
                  letter, commentLine);
  } else if (upper) {
    uint64_t third = skipCrs(text, second + 1, end);
    if (third < end && isBlank(text[third])) {
      warnAboutLine(name, line, "a space follows /%c and is taken as the start of the %s", letter,
                    letter == 'I' ? "directory's name" : "definition");
    }
  }
}

// Warns about each line of text[0, count), the option file as read, that
// looks like an option but is not taken as the user meant it. Physical lines
// are counted, blank and comment lines too. The normalisation keeps the
// indent of a comment line as a space and drops its line end and those of
// the blank and comment lines after it: the next line of text then begins
// with that space, and is no option.
void warnAboutIgnoredLines(const char* name, const char* text, uint64_t count) {
  uint64_t commentLine = 0;
  for (uint64_t start = 0, line = 1; start < count; ++line) {
    const void* lf = memchr(text + start, '\n', count - start);
    uint64_t end =
        lf != nullptr ? static_cast<uint64_t>(static_cast<const char*>(lf) - text) : count;
    uint64_t at = start;
    bool indented = false;
    for (; at < end && (text[at] == '\r' || isBlank(text[at])); ++at) indented |= isBlank(text[at]);
    if (at < end && text[at] == '#') {
      if (indented) commentLine = line;
    } else if (at < end) {
      checkOptionLine(name, line, text, at, end, indented, commentLine);
      commentLine = 0;
    }
    start = end + 1;
  }
}

}  // namespace

int makeEntryFromPieces(const char* const* pieces, const size_t* pieceBytes, int count,
                        TextEntry* entry) {
  size_t needed = 0;
  for (int piece = 0; piece < count; ++piece) {
    int units = oemToWideCounted(pieces[piece], pieceBytes[piece], nullptr, 0);
    if (units < 0) return 0;
    needed += static_cast<size_t>(units);
  }
  if (needed >= UINT32_MAX) return 0;
  auto* text =
      static_cast<char16_t*>(::operator new((needed + 1) * sizeof(char16_t), std::nothrow));
  if (text == nullptr) return 0;
  size_t length = 0;
  text[0] = 0;
  for (int piece = 0; piece < count; ++piece) {
    length += static_cast<size_t>(
        oemToWideCounted(pieces[piece], pieceBytes[piece], text + length, needed + 1 - length));
  }
  entry->text = text;
  entry->count = static_cast<uint32_t>(length + 1);
  return 1;
}

int makeDefineEntry(const char* value, const char* bareBody, TextEntry* entry) {
  const char* equals = strchr(value, '=');
  size_t nameBytes = equals != nullptr ? static_cast<size_t>(equals - value) : strlen(value);
  const char* body = equals != nullptr ? equals + 1 : bareBody;
  const char* pieces[] = {kDefine, value, " ", body};
  size_t pieceBytes[] = {sizeof kDefine - 1, nameBytes, *body != 0 || equals != nullptr ? 1u : 0u,
                         strlen(body)};
  return makeEntryFromPieces(pieces, pieceBytes, 4, entry);
}

uint64_t normaliseOptionText(char* buffer, uint64_t count) {
  uint64_t written = 0;
  uint64_t lfRun = 1;
  bool inComment = false;
  bool pendingSpace = false;
  for (uint64_t i = 0; i < count; ++i) {
    char byte = buffer[i];
    if (byte == '\r') continue;
    if (byte == '\n') {
      ++lfRun;
      inComment = false;
      pendingSpace = false;
      if (lfRun < 2) buffer[written++] = '\n';
      continue;
    }
    if (inComment) continue;
    if (byte == ' ' || byte == '\t') {
      pendingSpace = true;
      continue;
    }
    if (pendingSpace) {
      buffer[written++] = ' ';
      pendingSpace = false;
    }
    if (byte == '#') {
      inComment = true;
    } else {
      buffer[written++] = byte;
      lfRun = 0;
    }
  }
  return written;
}

uint32_t collectOptions(char* text, uint64_t length, char letter, TextEntry* table,
                        OptionKind kind) {
  uint32_t found = 0;
  uint64_t lineStart = 0;
  while (lineStart < length) {
    const char* lf = static_cast<const char*>(memchr(text + lineStart, '\n', length - lineStart));
    // A last line without its LF counts like any other.
    uint64_t lineEnd = lf != nullptr ? static_cast<uint64_t>(lf - text) : length;
    if (lineEnd - lineStart >= 2 && text[lineStart] == '/' && text[lineStart + 1] == letter) {
      if (table != nullptr) {
        char saved = text[lineEnd];
        text[lineEnd] = 0;
        const char* value = text + lineStart + 2;
        int made = kind == OptionKind::Paths ? makePathEntry(value, &table[found])
                                             : makeDefineEntry(value, "", &table[found]);
        text[lineEnd] = saved;
        if (!made) return found;
      }
      ++found;
    }
    lineStart = lineEnd + 1;
  }
  return found;
}

uint32_t collectCommandLineOptions(const char* const* values, uint32_t count, TextEntry* table,
                                   OptionKind kind) {
  for (uint32_t at = 0; at < count; ++at) {
    int made = kind == OptionKind::Paths ? makePathEntry(values[at], &table[at])
                                         : makeDefineEntry(values[at], "1", &table[at]);
    if (!made) return at;
  }
  return count;
}

int loadOptionFile(const char* name, OptionText* options) {
  SimpleFile file;
  file.handle = openOrComplain(name, GENERIC_READ, OPEN_EXISTING, "option file");
  if (file.handle == INVALID_HANDLE_VALUE) return 0;
  FileContents contents = readWholeFile(file.handle);
  if (contents.bytes == nullptr) {
    complain("cannot read the option file '%s' into memory", name);
    return 0;
  }
  if (!contents.whole) {
    complain("cannot read the option file '%s' whole: %llu bytes read", name,
             static_cast<unsigned long long>(contents.count));
    return 0;
  }
  // The lines given as flags are not the file's, and are not checked.
  if (WarningsShown) warnAboutIgnoredLines(name, contents.bytes, contents.count);
  options->text = contents.bytes;
  options->length = normaliseOptionText(contents.bytes, contents.count);
  return 1;
}

void writeDefineBlock() {
  for (uint32_t entry = 0; entry < DefineList.count; ++entry) {
    const char16_t* text = DefineList.entries[entry].text;
    size_t remaining = DefineList.entries[entry].count - 1;
    while (remaining > 0) {
      size_t piece = remaining < kWorkBufferChars ? remaining : kWorkBufferChars;
      // Keep a surrogate pair in one piece.
      if (piece < remaining && text[piece - 1] >= 0xD800 && text[piece - 1] < 0xDC00) --piece;
      int bytes = WideCharToMultiByte(CP_OEMCP, 0, text, static_cast<int>(piece), ConvBuffer.bytes,
                                      static_cast<int>(kWorkBufferBytes), nullptr, nullptr);
      writeOutput(ConvBuffer.bytes, bytes > 0 ? static_cast<uint64_t>(bytes) : 0);
      text += piece;
      remaining -= piece;
    }
    writeOutputText("\n");
  }
}
