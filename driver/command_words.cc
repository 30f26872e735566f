#include "command_words.h"

#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <new>

#include "../output/diagnostics.h"
#include "../output/run_state.h"
#include "../platform/os.h"
#include "../platform/simple_file.h"
#include "../search/source_file.h"
#include "entry_path.h"

namespace {

// Programs that run the compiler named by the next word.
constexpr const char* kLaunchers[] = {"ccache", "sccache", "distcc", "icecc", "buildcache"};

bool isBlank(char byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\v' ||
         byte == '\f';
}

// True when the last path component of `word`, without `.exe`, is `program`
// in any case.
bool namesProgram(const char* word, const char* program) {
  const char* name = lastPathComponent(word);
  size_t length = strlen(name);
  if (length >= 4 && sameIgnoringAsciiCase(name + length - 4, ".exe", 4)) length -= 4;
  return length == strlen(program) && sameIgnoringAsciiCase(name, program, length);
}

bool isLauncher(const char* word) {
  for (const char* launcher : kLaunchers) {
    if (namesProgram(word, launcher)) return true;
  }
  return false;
}

// One text being split: input text[at, length), each word written at `out`.
// A word never takes more bytes than it was read from, and a blank or the
// end of the text follows it, so text length + 1 bytes hold all the words.
struct WordReader {
  const char* text;
  size_t length;
  size_t at;
  char* out;
};

// What reading a word gives.
constexpr int kWordRead = 1;
constexpr int kNoWordLeft = 0;
constexpr int kQuoteLeftOpen = -1;

bool escapesInDoubleQuotes(char byte) {
  return byte == '$' || byte == '`' || byte == '"' || byte == '\\' || byte == '\n';
}

// Copies a "..." part, read from just after its opening quote. False when it
// does not close.
bool copyPosixDoubleQuoted(WordReader* reader) {
  while (reader->at < reader->length) {
    char byte = reader->text[reader->at++];
    if (byte == '"') return true;
    if (byte == '\\' && reader->at < reader->length &&
        escapesInDoubleQuotes(reader->text[reader->at])) {
      byte = reader->text[reader->at++];
      if (byte == '\n') continue;
    }
    *reader->out++ = byte;
  }
  return false;
}

// Copies a '...' part, read from just after its opening quote. False when it
// does not close.
bool copyPosixSingleQuoted(WordReader* reader) {
  const char* from = reader->text + reader->at;
  const void* close = memchr(from, '\'', reader->length - reader->at);
  if (close == nullptr) return false;
  size_t bytes = static_cast<size_t>(static_cast<const char*>(close) - from);
  memcpy(reader->out, from, bytes);
  reader->out += bytes;
  reader->at += bytes + 1;
  return true;
}

int readPosixWord(WordReader* reader) {
  bool started = false;
  while (reader->at < reader->length) {
    char byte = reader->text[reader->at];
    if (isBlank(byte) && started) break;
    ++reader->at;
    if (isBlank(byte)) continue;
    if (byte == '\\' && reader->at < reader->length) {
      byte = reader->text[reader->at++];
      if (byte == '\n') continue;
    } else if (byte == '\'' || byte == '"') {
      bool closed = byte == '\'' ? copyPosixSingleQuoted(reader) : copyPosixDoubleQuoted(reader);
      if (!closed) return kQuoteLeftOpen;
      started = true;
      continue;
    }
    *reader->out++ = byte;
    started = true;
  }
  if (!started) return kNoWordLeft;
  *reader->out++ = 0;
  return kWordRead;
}

// Copies a run of backslashes: before a quote, half of them, and the quote
// itself, literally, when they are odd in number.
void copyBackslashes(WordReader* reader) {
  size_t run = 0;
  while (reader->at + run < reader->length && reader->text[reader->at + run] == '\\') ++run;
  bool beforeQuote = reader->at + run < reader->length && reader->text[reader->at + run] == '"';
  size_t kept = beforeQuote ? run / 2 : run;
  memset(reader->out, '\\', kept);
  reader->out += kept;
  reader->at += run;
  if (beforeQuote && run % 2 == 1) {
    *reader->out++ = '"';
    ++reader->at;
  }
}

int readWindowsWord(WordReader* reader) {
  bool started = false;
  bool quoted = false;
  while (reader->at < reader->length) {
    char byte = reader->text[reader->at];
    if (!quoted && isBlank(byte) && started) break;
    if (!quoted && isBlank(byte)) {
      ++reader->at;
      continue;
    }
    started = true;
    if (byte == '\\') {
      copyBackslashes(reader);
      continue;
    }
    ++reader->at;
    if (byte != '"') {
      *reader->out++ = byte;
    } else if (quoted && reader->at < reader->length && reader->text[reader->at] == '"') {
      // "" in a quoted part.
      *reader->out++ = '"';
      ++reader->at;
    } else {
      quoted = !quoted;
    }
  }
  if (quoted) return kQuoteLeftOpen;
  if (!started) return kNoWordLeft;
  *reader->out++ = 0;
  return kWordRead;
}

int readWord(WordReader* reader, CommandRules rules) {
  return rules == CommandRules::Posix ? readPosixWord(reader) : readWindowsWord(reader);
}

void complainNoMemory() {
  complain("not enough memory");
}

// Where the words come from, for what is said about them, and where they go.
struct Expansion {
  const CompileEntry* entry;
  const char* databaseName;
  EntryWords* read;
};

// Splits text[0, length) into `list` by the entry's rules and keeps its
// block among the entry's. 0 after saying why it cannot be split: `what`,
// `name` and `after` together name the text.
int splitKept(const Expansion& expansion, const char* text, size_t length, WordList* list,
              const char* what, const char* name, const char* after) {
  uint32_t before = list->count;
  SplitResult split = splitCommandWords(text, length, expansion.read->rules, list);
  if (split == SplitResult::Split) {
    if (list->count == before || appendWord(&expansion.read->blocks, list->words[before])) return 1;
    ::operator delete(list->words[before]);
    list->count = before;
    split = SplitResult::NoMemory;
  }
  if (split == SplitResult::NoMemory) {
    complainNoMemory();
  } else {
    complain("%s%s%s of entry %" PRIu64 " of '%s' (line %" PRIu64 ") has an unbalanced quote", what,
             name, after, expansion.entry->number, expansion.databaseName, expansion.entry->line);
  }
  return 0;
}

// Says that the response file `name` cannot be read. Returns 0.
int warnUnreadable(const Expansion& expansion, const char* name, const char* reason) {
  if (countDiagnostic(Diagnostic::CompileCommand)) {
    printDiagnostic(Diagnostic::CompileCommand, expansion.databaseName, expansion.entry->line,
                    "cannot read the response file '%s' (%s); '@%s' is kept as a word", name,
                    reason, name);
  }
  return 0;
}

// Appends the words of the response file `name` to `list`. 1 when read; 0
// when it cannot be read, after a warning; -1 after saying why it cannot be
// split.
int readResponseFile(const Expansion& expansion, const char* name, WordList* list) {
  resolveEntryPath(expansion.entry->directory, name, ResultBuffer.wide);
  SimpleFile file;
  if (file.openForRead(ResultBuffer.wide) == nullptr) {
    return warnUnreadable(expansion, name, systemErrorText(GetLastError()));
  }
  FileContents contents = readWholeFile(file.handle);
  CloseHandle(file.handle);
  if (contents.bytes == nullptr || !contents.whole) {
    ::operator delete(contents.bytes);
    return warnUnreadable(expansion, name, "it cannot be read whole");
  }
  // A byte order mark, as editors on Windows write it, is no part of a word.
  size_t skipped = startsWithByteOrderMark(contents) ? sizeof kByteOrderMark : 0;
  int split = splitKept(expansion, contents.bytes + skipped, contents.count - skipped, list,
                        "the response file '", name, "'");
  ::operator delete(contents.bytes);
  return split ? 1 : -1;
}

int appendExpanded(const Expansion& expansion, char* const* given, uint32_t count, uint32_t first,
                   uint32_t depth);

// Appends the words of the response file that `word` (`@FILE`) names, read
// at `depth`, or the word itself when the file cannot be read.
int appendResponseFile(const Expansion& expansion, char* word, uint32_t depth) {
  if (depth == kResponseFileDepth) {
    complain("response files nest more than %" PRIu32 " deep in entry %" PRIu64
             " of '%s' (line %" PRIu64 "), at '%s'",
             kResponseFileDepth, expansion.entry->number, expansion.databaseName,
             expansion.entry->line, word);
    return 0;
  }
  WordList inner = {};
  int read = readResponseFile(expansion, word + 1, &inner);
  int appended = read > 0 && appendExpanded(expansion, inner.words, inner.count, 0, depth + 1);
  freeWordArray(&inner);
  if (read != 0) return appended;
  if (appendWord(&expansion.read->words, word)) return 1;
  complainNoMemory();
  return 0;
}

// Appends given[0, count) to the entry's words, each from `first` on that
// is `@FILE` replaced by the words of FILE, themselves read at `depth`.
int appendExpanded(const Expansion& expansion, char* const* given, uint32_t count, uint32_t first,
                   uint32_t depth) {
  for (uint32_t at = 0; at < count; ++at) {
    char* word = given[at];
    if (at >= first && word[0] == '@' && word[1] != 0) {
      if (!appendResponseFile(expansion, word, depth)) return 0;
    } else if (!appendWord(&expansion.read->words, word)) {
      complainNoMemory();
      return 0;
    }
  }
  return 1;
}

// Copies the entry's arguments into one block, kept among the entry's, and
// lists them in `given`.
int copyEntryArguments(const CompileEntry& entry, EntryWords* read, WordList* given) {
  size_t bytes = 0;
  for (uint32_t at = 0; at < entry.argumentCount; ++at) bytes += strlen(entry.arguments[at]) + 1;
  char* block = static_cast<char*>(::operator new(bytes + 1, std::nothrow));
  if (block == nullptr) return 0;
  if (!appendWord(&read->blocks, block)) {
    ::operator delete(block);
    return 0;
  }
  for (uint32_t at = 0; at < entry.argumentCount; ++at) {
    size_t length = strlen(entry.arguments[at]);
    memcpy(block, entry.arguments[at], length + 1);
    if (!appendWord(given, block)) return 0;
    block += length + 1;
  }
  return 1;
}

// The entry's words before response files are read, in `given`.
int readGivenWords(const Expansion& expansion, WordList* given) {
  const CompileEntry& entry = *expansion.entry;
  EntryWords* read = expansion.read;
  if (entry.command != nullptr) {
    read->rules = rulesForCommand(entry.command);
    return splitKept(expansion, entry.command, strlen(entry.command), given, "the command", "", "");
  }
  if (!copyEntryArguments(entry, read, given)) {
    complainNoMemory();
    return 0;
  }
  read->rules = given->count > 0
                    ? rulesForCompiler(given->words[compilerIndex(given->words, given->count)])
                    : CommandRules::Posix;
  return 1;
}

}  // namespace

bool appendWord(WordList* list, char* word) {
  if (list->count == list->room) {
    if (list->room > UINT32_MAX / 2 || list->room > SIZE_MAX / 2 / sizeof(char*)) return false;
    uint32_t room = list->room == 0 ? 16 : list->room * 2;
    auto** words = static_cast<char**>(::operator new(room * sizeof(char*), std::nothrow));
    if (words == nullptr) return false;
    if (list->count > 0) memcpy(words, list->words, list->count * sizeof(char*));
    ::operator delete(list->words);
    list->words = words;
    list->room = room;
  }
  list->words[list->count++] = word;
  return true;
}

void freeWordArray(WordList* list) {
  ::operator delete(list->words);
  *list = WordList{};
}

SplitResult splitCommandWords(const char* text, size_t length, CommandRules rules, WordList* list) {
  char* block = static_cast<char*>(::operator new(length + 1, std::nothrow));
  if (block == nullptr) return SplitResult::NoMemory;
  WordReader reader = {text, length, 0, block};
  uint32_t before = list->count;
  for (;;) {
    char* word = reader.out;
    int read = readWord(&reader, rules);
    if (read == kWordRead && appendWord(list, word)) continue;
    // The block stays when it holds words.
    if (read == kNoWordLeft && list->count > before) return SplitResult::Split;
    list->count = before;
    ::operator delete(block);
    if (read == kNoWordLeft) return SplitResult::Split;
    return read == kQuoteLeftOpen ? SplitResult::UnbalancedQuote : SplitResult::NoMemory;
  }
}

CommandRules rulesForCompiler(const char* compiler) {
  bool windows = namesProgram(compiler, "cl") || namesProgram(compiler, "clang-cl");
  return windows ? CommandRules::Windows : CommandRules::Posix;
}

uint32_t compilerIndex(const char* const* words, uint32_t count) {
  return count > 1 && isLauncher(words[0]) ? 1 : 0;
}

CommandRules rulesForCommand(const char* command) {
  size_t length = strlen(command);
  char* block = static_cast<char*>(::operator new(length + 1, std::nothrow));
  // Without memory the split that follows fails and says so.
  if (block == nullptr) return CommandRules::Posix;
  WordReader reader = {command, length, 0, block};
  const char* words[2];
  uint32_t count = 0;
  while (count < 2) {
    words[count] = reader.out;
    if (readWindowsWord(&reader) != kWordRead) break;
    ++count;
  }
  CommandRules rules =
      count > 0 ? rulesForCompiler(words[compilerIndex(words, count)]) : CommandRules::Posix;
  ::operator delete(block);
  return rules;
}

int readEntryWords(const CompileEntry& entry, const char* databaseName, EntryWords* read) {
  *read = EntryWords{};
  Expansion expansion = {&entry, databaseName, read};
  WordList given = {};
  int expanded = readGivenWords(expansion, &given) &&
                 appendExpanded(expansion, given.words, given.count, 1, 0);
  freeWordArray(&given);
  if (!expanded) freeEntryWords(read);
  return expanded;
}

void freeEntryWords(EntryWords* read) {
  for (uint32_t at = 0; at < read->blocks.count; ++at) ::operator delete(read->blocks.words[at]);
  freeWordArray(&read->blocks);
  freeWordArray(&read->words);
}
