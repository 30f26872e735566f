#include "compile_options.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "../output/diagnostics.h"
#include "../platform/full_path.h"
#include "command_words.h"
#include "entry_path.h"
#include "options.h"

namespace {

// What an option does here. The four kinds of directory come first, in
// search order.
enum class Effect : uint8_t {
  QuoteDirectory,
  IncludeDirectory,
  SystemDirectory,
  AfterDirectory,
  Define,
  // cl's /D, where NAME#VALUE means NAME=VALUE.
  ClDefine,
  Undefine,
  ForcedInclude,
  Sysroot,
  HeaderSysroot,
  // Changes preprocessing in a way the tool does not follow: warned about.
  NotFollowed,
  // `-Wp,` options: warned about unless they only ask for a dependency file.
  PreprocessorOptions,
  // Takes its value, if any, and changes nothing here.
  Skip,
  // `-Xclang`: passes its value to Clang's front end, where an option that
  // bears on preprocessing (CMake's `-Xclang -include`) is warned about.
  FrontEndOption,
  // cl's /link: the words after it are the linker's.
  EndOfOptions,
};
constexpr int kDirectoryKinds = 4;

// Where an option's value is: after its name in the same word, in the next
// word, or nowhere.
constexpr uint8_t kNoValue = 0;
constexpr uint8_t kJoined = 1;
constexpr uint8_t kSeparate = 2;
constexpr uint8_t kJoinedOrSeparate = kJoined | kSeparate;

struct Spelling {
  const char* name;
  uint8_t forms;
  Effect effect;
};

// GCC's and Clang's options. A name that another begins with comes after it.
constexpr Spelling kGccSpellings[] = {
    {"-I-", kNoValue, Effect::NotFollowed},
    {"-I", kJoinedOrSeparate, Effect::IncludeDirectory},
    {"-iquote", kJoinedOrSeparate, Effect::QuoteDirectory},
    {"-isystem-after", kSeparate, Effect::AfterDirectory},
    {"-isystem", kJoinedOrSeparate, Effect::SystemDirectory},
    {"-idirafter", kJoinedOrSeparate, Effect::AfterDirectory},
    {"-D", kJoinedOrSeparate, Effect::Define},
    {"-U", kJoinedOrSeparate, Effect::Undefine},
    {"-include-pch", kSeparate, Effect::NotFollowed},
    {"-include", kJoinedOrSeparate, Effect::ForcedInclude},
    {"--sysroot=", kJoined, Effect::Sysroot},
    {"--sysroot", kSeparate, Effect::Sysroot},
    {"-isysroot", kJoinedOrSeparate, Effect::HeaderSysroot},
    {"-imacros", kJoinedOrSeparate, Effect::NotFollowed},
    {"-Wp,", kJoined, Effect::PreprocessorOptions},
    {"-Xpreprocessor", kSeparate, Effect::NotFollowed},
    {"-nostdinc", kNoValue, Effect::NotFollowed},
    {"-nostdinc++", kNoValue, Effect::NotFollowed},
    {"-undef", kNoValue, Effect::NotFollowed},
    {"-iwithprefixbefore", kJoinedOrSeparate, Effect::NotFollowed},
    {"-iwithprefix", kJoinedOrSeparate, Effect::NotFollowed},
    {"-iwithsysroot", kJoinedOrSeparate, Effect::NotFollowed},
    {"-iprefix", kJoinedOrSeparate, Effect::Skip},
    {"-o", kSeparate, Effect::Skip},
    {"-MF", kSeparate, Effect::Skip},
    {"-MT", kSeparate, Effect::Skip},
    {"-MQ", kSeparate, Effect::Skip},
    {"-MJ", kSeparate, Effect::Skip},
    {"-x", kSeparate, Effect::Skip},
    {"-Xclang", kSeparate, Effect::FrontEndOption},
    {"-Xlinker", kSeparate, Effect::Skip},
    {"-Xassembler", kSeparate, Effect::Skip},
    {"-Xanalyzer", kSeparate, Effect::Skip},
    {"-arch", kSeparate, Effect::Skip},
    {"-target", kSeparate, Effect::Skip},
    {"-aux-info", kSeparate, Effect::Skip},
    {"-dumpbase", kSeparate, Effect::Skip},
    {"-dumpdir", kSeparate, Effect::Skip},
    {"-iframework", kSeparate, Effect::Skip},
    {"-imultilib", kSeparate, Effect::Skip},
    {"-ivfsoverlay", kSeparate, Effect::Skip},
    {"-mllvm", kSeparate, Effect::Skip},
    {"--param", kSeparate, Effect::Skip},
    {"-B", kSeparate, Effect::Skip},
    {"-F", kSeparate, Effect::Skip},
    {"-L", kSeparate, Effect::Skip},
    {"-l", kSeparate, Effect::Skip},
    {"-T", kSeparate, Effect::Skip},
    {"-u", kSeparate, Effect::Skip},
    {"-z", kSeparate, Effect::Skip},
    {"-e", kSeparate, Effect::Skip},
};

// cl's and clang-cl's options, each spelled after `/` or `-`. Options such as
// /Fo take their values joined only, and need no entry.
constexpr Spelling kClSpellings[] = {
    {"I", kJoinedOrSeparate, Effect::IncludeDirectory},
    {"external:I", kJoinedOrSeparate, Effect::SystemDirectory},
    {"imsvc", kJoinedOrSeparate, Effect::SystemDirectory},
    {"D", kJoinedOrSeparate, Effect::ClDefine},
    {"U", kJoinedOrSeparate, Effect::Undefine},
    {"FI", kJoinedOrSeparate, Effect::ForcedInclude},
    {"u", kNoValue, Effect::NotFollowed},
    {"X", kNoValue, Effect::NotFollowed},
    {"link", kNoValue, Effect::EndOfOptions},
    {"AI", kSeparate, Effect::Skip},
    {"FU", kSeparate, Effect::Skip},
    {"Tc", kSeparate, Effect::Skip},
    {"Tp", kSeparate, Effect::Skip},
    {"o", kSeparate, Effect::Skip},
    {"Xclang", kSeparate, Effect::FrontEndOption},
};

// The options gathered from the words, before any path is resolved: a
// sysroot given after a directory still applies to it.
struct Gathered {
  WordList directories[kDirectoryKinds];
  WordList defines;
  WordList undefines;
  WordList forcedNames;
  const char* sysroot;
  const char* headerSysroot;
};

// Who the warnings are about.
struct Source {
  const CompileEntry* entry;
  const char* databaseName;
};

void warnAboutCommand(const Source& source, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

void warnAboutCommand(const Source& source, const char* format, ...) {
  if (!countDiagnostic(Diagnostic::CompileCommand)) return;
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  printDiagnostic(Diagnostic::CompileCommand, source.databaseName, source.entry->line, "%s", text);
}

int complainNoMemory() {
  complain("not enough memory");
  return 0;
}

// The spelling that `name` matches; null when none does.
const Spelling* findSpelling(const Spelling* table, size_t count, const char* name) {
  for (size_t at = 0; at < count; ++at) {
    size_t length = strlen(table[at].name);
    if (strncmp(name, table[at].name, length) != 0) continue;
    if (name[length] == 0 || (table[at].forms & kJoined) != 0) return &table[at];
  }
  return nullptr;
}

// True when the options of `-Wp,` (comma-separated) only ask for a
// dependency file, which changes no text.
bool onlyDependencyOptions(const char* list) {
  bool valueNext = false;
  for (const char* piece = list;; ++piece) {
    size_t length = strcspn(piece, ",");
    if (valueNext) {
      valueNext = false;
    } else if (length >= 2 && piece[0] == '-' && piece[1] == 'M') {
      valueNext = (length == 3 && strchr("DFTQ", piece[2]) != nullptr) ||
                  (length == 4 && memcmp(piece, "-MMD", 4) == 0);
    } else {
      return false;
    }
    piece += length;
    if (*piece == 0) return true;
  }
}

// True when the GCC option `word` bears on preprocessing.
bool bearsOnPreprocessing(const char* word) {
  const Spelling* spelling =
      findSpelling(kGccSpellings, sizeof kGccSpellings / sizeof *kGccSpellings, word);
  return spelling != nullptr && spelling->effect != Effect::Skip &&
         spelling->effect != Effect::FrontEndOption;
}

// True when `definition` (NAME, NAME=BODY or NAME(PARAMETERS)=BODY) defines `name`.
bool definesName(const char* definition, const char* name) {
  size_t length = strcspn(definition, "=(");
  return strlen(name) == length && memcmp(definition, name, length) == 0;
}

// Removes every earlier definition of `name`; when there was none, `name`
// is to be undefined.
int undefine(Gathered* gathered, char* name) {
  WordList* defines = &gathered->defines;
  uint32_t kept = 0;
  for (uint32_t at = 0; at < defines->count; ++at) {
    if (!definesName(defines->words[at], name)) defines->words[kept++] = defines->words[at];
  }
  bool removed = kept < defines->count;
  defines->count = kept;
  return removed || appendWord(&gathered->undefines, name);
}

// Takes one option, `word` with its value, into `gathered`; `separate` tells
// that the value came as the next word. 0 when no memory can be had.
int takeOption(Effect effect, const char* word, char* value, bool separate, const Source& source,
               Gathered* gathered) {
  switch (effect) {
    case Effect::ClDefine: {
      char* separator = value + strcspn(value, "=#");
      if (*separator == '#') *separator = '=';
      return appendWord(&gathered->defines, value);
    }
    case Effect::Define:
      return appendWord(&gathered->defines, value);
    case Effect::Undefine:
      return undefine(gathered, value);
    case Effect::ForcedInclude:
      return appendWord(&gathered->forcedNames, value);
    case Effect::Sysroot:
      gathered->sysroot = value;
      return 1;
    case Effect::HeaderSysroot:
      gathered->headerSysroot = value;
      return 1;
    case Effect::PreprocessorOptions:
    case Effect::NotFollowed:
      if (effect == Effect::NotFollowed || !onlyDependencyOptions(value)) {
        warnAboutCommand(source, "the argument '%s%s%s' changes preprocessing and is not followed",
                         word, separate ? " " : "", separate ? value : "");
      }
      return 1;
    case Effect::FrontEndOption:
      if (bearsOnPreprocessing(value)) {
        warnAboutCommand(source, "the argument '%s %s' changes preprocessing and is not followed",
                         word, value);
      }
      return 1;
    case Effect::Skip:
    case Effect::EndOfOptions:
      return 1;
    default:  // A kind of directory.
      return appendWord(&gathered->directories[static_cast<int>(effect)], value);
  }
}

// Reads words[first, count) into `gathered`, by the spellings of the rules'
// compilers. 0 when no memory can be had.
int gatherOptions(const WordList& words, uint32_t first, CommandRules rules, const Source& source,
                  Gathered* gathered) {
  bool cl = rules == CommandRules::Windows;
  const Spelling* table = cl ? kClSpellings : kGccSpellings;
  size_t tableSize = cl ? sizeof kClSpellings / sizeof *kClSpellings
                        : sizeof kGccSpellings / sizeof *kGccSpellings;
  for (uint32_t at = first; at < words.count; ++at) {
    char* word = words.words[at];
    if (cl && word[0] != '/' && word[0] != '-') continue;
    char* name = cl ? word + 1 : word;
    const Spelling* spelling = findSpelling(table, tableSize, name);
    if (spelling == nullptr) continue;
    if (spelling->effect == Effect::EndOfOptions) break;
    char* value = name + strlen(spelling->name);
    bool separate = *value == 0 && (spelling->forms & kSeparate) != 0;
    if (separate && at + 1 == words.count) {
      if (spelling->effect != Effect::Skip) {
        warnAboutCommand(source, "'%s' ends the command without its value and is ignored", word);
      }
      break;
    }
    if (separate) value = words.words[++at];
    if (!takeOption(spelling->effect, word, value, separate, source, gathered)) return 0;
  }
  return 1;
}

// The directory `value` resolved against the entry's directory; a value that
// begins with `=` or `$SYSROOT` is taken under `sysroot`.
int makeDirectoryEntry(const char* directory, const char* value, const char* sysroot,
                       TextEntry* entry) {
  static const char kSysrootWord[] = "$SYSROOT";
  size_t prefix = value[0] == '=' ? 1
                  : strncmp(value, kSysrootWord, sizeof kSysrootWord - 1) == 0
                      ? sizeof kSysrootWord - 1
                      : 0;
  char* joined = nullptr;
  if (prefix > 0) {
    const char* root = sysroot != nullptr ? sysroot : "";
    size_t rootBytes = strlen(root);
    size_t restBytes = strlen(value + prefix);
    joined = static_cast<char*>(::operator new(rootBytes + restBytes + 1, std::nothrow));
    if (joined == nullptr) return 0;
    memcpy(joined, root, rootBytes);
    memcpy(joined + rootBytes, value + prefix, restBytes + 1);
    value = joined;
  }
  resolveEntryPath(directory, value, ResultBuffer.wide);
  ::operator delete(joined);
  return makeTextEntry(ResultBuffer.wide, wideLength(ResultBuffer.wide), u"", entry);
}

int makeDirectories(const Gathered& gathered, const CompileEntry& entry, CompileOptions* options) {
  uint32_t total = 0;
  for (const WordList& list : gathered.directories) total += list.count;
  options->directories = new (std::nothrow) TextEntry[total];
  if (options->directories == nullptr) return 0;
  const char* sysroot =
      gathered.headerSysroot != nullptr ? gathered.headerSysroot : gathered.sysroot;
  for (const WordList& list : gathered.directories) {
    for (uint32_t at = 0; at < list.count; ++at) {
      TextEntry* made = &options->directories[options->directoryCount];
      if (!makeDirectoryEntry(entry.directory, list.words[at], sysroot, made)) return 0;
      ++options->directoryCount;
    }
  }
  options->quoteOnlyCount = gathered.directories[0].count;
  return 1;
}

// `#undef` lines first, then `#define` lines: an `#undef` is only kept for a
// name that no earlier definition set, so the order keeps the meaning. Their
// bytes are taken as OEM text, which the define block writes back byte for
// byte; read as UTF-8, what the OEM code page lacks would be lost there.
int makeDefinitions(const Gathered& gathered, CompileOptions* options) {
  static const char kUndef[] = "#undef ";
  options->definitions =
      new (std::nothrow) TextEntry[gathered.undefines.count + gathered.defines.count];
  if (options->definitions == nullptr) return 0;
  for (uint32_t at = 0; at < gathered.undefines.count; ++at) {
    const char* pieces[] = {kUndef, gathered.undefines.words[at]};
    size_t pieceBytes[] = {sizeof kUndef - 1, strlen(pieces[1])};
    TextEntry* made = &options->definitions[options->definitionCount];
    if (!makeEntryFromPieces(pieces, pieceBytes, 2, made)) return 0;
    ++options->definitionCount;
  }
  for (uint32_t at = 0; at < gathered.defines.count; ++at) {
    TextEntry* made = &options->definitions[options->definitionCount];
    if (!makeDefineEntry(gathered.defines.words[at], "1", made)) return 0;
    ++options->definitionCount;
  }
  return 1;
}

// True when `name` under the resolved `directory` is a file, whose path is
// then in ResultBuffer.
bool fileUnder(const TextEntry& directory, const char* name) {
  size_t length = directory.count - 1;
  if (length + 1 >= kWorkBufferChars) return false;
  memcpy(ConvBuffer.wide, directory.text, length * sizeof(char16_t));
  ConvBuffer.wide[length++] = u'\\';
  int units =
      utf8ToWideCounted(name, strlen(name), ConvBuffer.wide + length, kWorkBufferChars - length);
  if (units < 0) return false;
  resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
  return namesFile(ResultBuffer.wide);
}

// True when the forced include `name` is found as the compiler finds it: in
// the entry's directory, then along the directories. Its path is then in
// ResultBuffer.
bool findForcedInclude(const char* name, const CompileEntry& entry, const CompileOptions& options) {
  if (resolveEntryPath(entry.directory, name, ResultBuffer.wide) > 0 &&
      namesFile(ResultBuffer.wide)) {
    return true;
  }
  if (isAbsoluteEntryPath(name)) return false;
  for (uint32_t at = 0; at < options.directoryCount; ++at) {
    if (fileUnder(options.directories[at], name)) return true;
  }
  return false;
}

// The names in one block: their pointers, then their bytes. Null when no
// memory can be had.
const char* const* copyNames(const WordList& names) {
  size_t bytes = names.count * sizeof(char*);
  for (uint32_t at = 0; at < names.count; ++at) bytes += strlen(names.words[at]) + 1;
  auto** copies = static_cast<const char**>(::operator new(bytes, std::nothrow));
  if (copies == nullptr) return nullptr;
  char* text = reinterpret_cast<char*>(copies + names.count);
  for (uint32_t at = 0; at < names.count; ++at) {
    size_t length = strlen(names.words[at]);
    memcpy(text, names.words[at], length + 1);
    copies[at] = text;
    text += length + 1;
  }
  return copies;
}

// Finds each forced include; 0 after saying why when one is found nowhere.
int findForcedIncludes(const WordList& names, const Source& source, CompileOptions* options) {
  if (names.count == 0) return 1;
  options->forcedNames = copyNames(names);
  options->forcedPaths = new (std::nothrow) TextEntry[names.count];
  if (options->forcedNames == nullptr || options->forcedPaths == nullptr) {
    return complainNoMemory();
  }
  for (uint32_t at = 0; at < names.count; ++at) {
    if (!findForcedInclude(names.words[at], *source.entry, *options)) {
      complain("the forced include '%s' of entry %" PRIu64 " of '%s' (line %" PRIu64
               ") is found neither in the entry's directory nor in its include directories",
               names.words[at], source.entry->number, source.databaseName, source.entry->line);
      return 0;
    }
    TextEntry* made = &options->forcedPaths[at];
    if (!makeTextEntry(ResultBuffer.wide, wideLength(ResultBuffer.wide), u"", made)) {
      return complainNoMemory();
    }
    ++options->forcedCount;
  }
  return 1;
}

// Fills `options` from the gathered options.
int makeOptions(const Gathered& gathered, const Source& source, CompileOptions* options) {
  if (!makeDirectories(gathered, *source.entry, options) || !makeDefinitions(gathered, options)) {
    return complainNoMemory();
  }
  return findForcedIncludes(gathered.forcedNames, source, options);
}

void freeTexts(TextEntry* entries, uint32_t count) {
  for (uint32_t at = 0; at < count; ++at) ::operator delete(entries[at].text);
  delete[] entries;
}

void freeGathered(Gathered* gathered) {
  for (WordList& list : gathered->directories) freeWordArray(&list);
  freeWordArray(&gathered->defines);
  freeWordArray(&gathered->undefines);
  freeWordArray(&gathered->forcedNames);
}

}  // namespace

int readCompileOptions(const CompileEntry& entry, const char* databaseName,
                       CompileOptions* options) {
  *options = CompileOptions{};
  EntryWords words;
  if (!readEntryWords(entry, databaseName, &words)) return 0;
  Source source = {&entry, databaseName};
  Gathered gathered = {};
  const WordList& list = words.words;
  uint32_t first = list.count > 0 ? compilerIndex(list.words, list.count) + 1 : 0;
  int read = gatherOptions(list, first, words.rules, source, &gathered);
  if (!read) complainNoMemory();
  read = read && makeOptions(gathered, source, options);
  options->windowsCompiler = words.rules == CommandRules::Windows;
  freeGathered(&gathered);
  freeEntryWords(&words);
  if (!read) freeCompileOptions(options);
  return read;
}

void freeCompileOptions(CompileOptions* options) {
  freeTexts(options->directories, options->directoryCount);
  freeTexts(options->definitions, options->definitionCount);
  ::operator delete(const_cast<const char**>(options->forcedNames));
  freeTexts(options->forcedPaths, options->forcedCount);
  *options = CompileOptions{};
}
