#include "compile_database.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <type_traits>

// The parser hands its errors to the handler and never throws; the tool
// reads no streams through it.
#define JSON_NOEXCEPTION
#define JSON_NO_IO
#include <nlohmann/json.hpp>

#include "../output/diagnostics.h"
#include "../output/run_state.h"
#include "../platform/full_path.h"
#include "entry_path.h"

namespace {

using Json = nlohmann::json;

// Bytes read from the database at a time.
constexpr size_t kChunkBytes = 65536;
// The last byte of a chunk stays before the next: the parser may stop on the
// byte before the last it read (a number's end, found a byte later), whose
// line must still be countable.
constexpr size_t kKeptBytes = 1;
// A parser's reason quotes the text it last read, which may be a whole string.
constexpr size_t kShownReasonBytes = 300;
constexpr size_t kNoText = SIZE_MAX;

// The database's bytes on their way to the parser, and the line feeds among them.
struct ByteStream {
  ReadBytes read;
  void* context;
  // kKeptBytes + kChunkBytes bytes; [cursor, limit) are not yet parsed.
  char* block;
  const char* cursor;
  const char* limit;
  // The offset in the database of block[0].
  uint64_t blockOffset;
  // The line feeds before countedTo, and the offset at which countedTo's line begins.
  const char* countedTo;
  uint64_t lineFeeds;
  uint64_t lineStart;
  bool ended;
  bool failed;
  DWORD error;
};

struct Place {
  uint64_t line;
  uint64_t column;
};

uint64_t offsetOf(const ByteStream& stream, const char* at) {
  return stream.blockOffset + static_cast<uint64_t>(at - stream.block);
}

void countLineFeeds(ByteStream* stream, const char* upTo) {
  const char* at = stream->countedTo;
  while (at < upTo) {
    const void* lineFeed = memchr(at, '\n', static_cast<size_t>(upTo - at));
    if (lineFeed == nullptr) break;
    at = static_cast<const char*>(lineFeed) + 1;
    ++stream->lineFeeds;
    stream->lineStart = offsetOf(*stream, at);
  }
  if (upTo > stream->countedTo) stream->countedTo = upTo;
}

// The line and column of the byte at `offset`, which lies at or after every
// offset asked before: a byte of the block, or the end.
Place placeOf(ByteStream* stream, uint64_t offset) {
  uint64_t first = offsetOf(*stream, stream->countedTo);
  uint64_t last = offsetOf(*stream, stream->limit);
  offset = offset < first ? first : offset > last ? last : offset;
  countLineFeeds(stream, stream->block + (offset - stream->blockOffset));
  return {stream->lineFeeds + 1, offset - stream->lineStart + 1};
}

// Reads the next chunk after the kept bytes of the last one.
void refill(ByteStream* stream) {
  size_t kept = static_cast<size_t>(stream->limit - stream->block);
  if (kept > kKeptBytes) kept = kKeptBytes;
  const char* keptFrom = stream->limit - kept;
  countLineFeeds(stream, keptFrom);
  size_t countedKept = static_cast<size_t>(stream->countedTo - keptFrom);
  memmove(stream->block, keptFrom, kept);
  stream->blockOffset = offsetOf(*stream, keptFrom);
  stream->countedTo = stream->block + countedKept;
  stream->cursor = stream->limit = stream->block + kept;
  int64_t got = stream->read(stream->block + kept, kChunkBytes, stream->context);
  if (got > 0 && static_cast<uint64_t>(got) <= kChunkBytes) {
    stream->limit += got;
    return;
  }
  stream->ended = true;
  stream->failed = got != 0;
  if (stream->failed) stream->error = GetLastError();
}

// True when a byte is waiting, once the next chunk is read when needed.
bool hasByte(ByteStream* stream) {
  if (stream->cursor == stream->limit && !stream->ended) refill(stream);
  return stream->cursor < stream->limit;
}

// The parser's input: a one-pass iterator over the stream. Only the end is
// ever compared with, and an iterator equals it when no byte is left.
class StreamIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  explicit StreamIterator(ByteStream* stream) : stream_(stream) {}
  reference operator*() const { return *stream_->cursor; }
  StreamIterator& operator++() {
    ++stream_->cursor;
    return *this;
  }
  bool operator==(const StreamIterator& other) const { return atEnd() == other.atEnd(); }
  bool operator!=(const StreamIterator& other) const { return atEnd() != other.atEnd(); }

 private:
  bool atEnd() const { return stream_ == nullptr || !hasByte(stream_); }
  ByteStream* stream_;
};

// A heap block that grows, of `room` units.
template <typename Unit>
struct Growing {
  Unit* units = nullptr;
  size_t room = 0;
};

// Makes room for `needed` units, keeping those before `kept`. False when no
// memory can be had.
template <typename Unit>
bool makeRoom(Growing<Unit>* block, size_t needed, size_t kept) {
  if (needed <= block->room) return true;
  size_t room = block->room < 1024 ? 1024 : block->room;
  while (room < needed) {
    if (room > SIZE_MAX / 2 / sizeof(Unit)) return false;
    room *= 2;
  }
  auto* units = static_cast<Unit*>(::operator new(room * sizeof(Unit), std::nothrow));
  if (units == nullptr) return false;
  if (kept > 0) memcpy(units, block->units, kept * sizeof(Unit));
  ::operator delete(block->units);
  block->units = units;
  block->room = room;
  return true;
}

// What a JSON value is, as the messages name it.
enum class Kind : uint8_t { Null, Boolean, Number, String, Binary, Object, Array };
constexpr const char* kKindNames[] = {"null",        "a boolean", "a number", "a string",
                                      "binary data", "an object", "an array"};

// The members of an entry that are read; any other is skipped.
enum class Member : uint8_t { Directory, File, Command, Arguments, Other };
constexpr const char* kMemberNames[] = {"directory", "file", "command", "arguments"};

Member memberNamed(const std::string& key) {
  for (int member = 0; member < static_cast<int>(Member::Other); ++member) {
    if (key == kMemberNames[member]) return static_cast<Member>(member);
  }
  return Member::Other;
}

// Where the parser stands: before the top array, among the entries, in an
// entry, in an entry's `arguments`.
enum class Level : uint8_t { Top, Entries, Entry, Arguments };

struct DatabaseReader {
  ByteStream stream;
  const char* name;
  EntryVisitor visit;
  void* visitContext;
  Level level;
  Member member;
  // The depth of arrays and objects within a skipped member's value.
  uint64_t skipped;
  bool stopped;
  // The current entry: its texts one after another in `texts`, the offsets
  // of `directory`, `file` and `command` (by Member) and of each argument.
  uint64_t number;
  uint64_t line;
  size_t textOffsets[3];
  bool hasArguments;
  size_t textBytes;
  Growing<char> texts;
  size_t argumentCount;
  Growing<size_t> argumentOffsets;
  Growing<const char*> argumentTexts;
};

// Says what is wrong with the current entry, after "entry N of the
// compilation database 'DB' (line L)". Returns false, which stops the parser.
bool entryProblem(const DatabaseReader* reader, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

bool entryProblem(const DatabaseReader* reader, const char* format, ...) {
  char problem[256];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(problem, sizeof problem, format, arguments);
  va_end(arguments);
  complain("entry %" PRIu64 " of the compilation database '%s' (line %" PRIu64 ")%s",
           reader->number, reader->name, reader->line, problem);
  return false;
}

bool noMemory(const DatabaseReader* reader) {
  return entryProblem(reader, " does not fit in memory");
}

// A value where the entries' array should stand.
bool notArray(const DatabaseReader* reader, Kind kind) {
  complain("the compilation database '%s' is not an array of entries but %s", reader->name,
           kKindNames[static_cast<int>(kind)]);
  return false;
}

// A member read whose value has the wrong kind.
bool wrongKind(const DatabaseReader* reader, Kind kind) {
  const char* name = kMemberNames[static_cast<int>(reader->member)];
  const char* expected = reader->member == Member::Arguments ? "an array of strings" : "a string";
  return entryProblem(reader, ": '%s' is not %s but %s", name, expected,
                      kKindNames[static_cast<int>(kind)]);
}

bool wrongArgument(const DatabaseReader* reader, Kind kind) {
  return entryProblem(
      reader, ": 'arguments' is not an array of strings: its item %" PRIu64 " is %s",
      static_cast<uint64_t>(reader->argumentCount) + 1, kKindNames[static_cast<int>(kind)]);
}

// Copies `text` after the entry's other texts; its offset, or kNoText.
size_t storeText(DatabaseReader* reader, const std::string& text) {
  size_t offset = reader->textBytes;
  if (text.size() >= SIZE_MAX - offset ||
      !makeRoom(&reader->texts, offset + text.size() + 1, offset)) {
    return kNoText;
  }
  memcpy(reader->texts.units + offset, text.c_str(), text.size() + 1);
  reader->textBytes += text.size() + 1;
  return offset;
}

// A value opens the next entry, whatever it is.
void beginEntry(DatabaseReader* reader) {
  ByteStream* stream = &reader->stream;
  ++reader->number;
  // The parser has just read the value's first or last byte, maybe one more.
  reader->line = placeOf(stream, offsetOf(*stream, stream->cursor) - 1).line;
  reader->textBytes = 0;
  for (size_t& offset : reader->textOffsets) offset = kNoText;
  reader->hasArguments = false;
  reader->argumentCount = 0;
}

bool addArgument(DatabaseReader* reader, const std::string& text) {
  size_t count = reader->argumentCount;
  if (count >= UINT32_MAX - 1 || !makeRoom(&reader->argumentOffsets, count + 1, count)) {
    return noMemory(reader);
  }
  size_t offset = storeText(reader, text);
  if (offset == kNoText) return noMemory(reader);
  reader->argumentOffsets.units[count] = offset;
  reader->argumentCount = count + 1;
  return true;
}

// The entry is whole: checks it and hands it to the visitor.
bool endEntry(DatabaseReader* reader) {
  const size_t* offsets = reader->textOffsets;
  for (Member member : {Member::Directory, Member::File}) {
    if (offsets[static_cast<int>(member)] == kNoText) {
      return entryProblem(reader, " has no '%s'", kMemberNames[static_cast<int>(member)]);
    }
  }
  size_t command = offsets[static_cast<int>(Member::Command)];
  size_t count = reader->argumentCount;
  if (!reader->hasArguments && command == kNoText) {
    return entryProblem(reader, " has neither 'arguments' nor 'command'");
  }
  // Not even the compiler's name: no command at all.
  if (reader->hasArguments && count == 0) return entryProblem(reader, ": 'arguments' is empty");
  if (!makeRoom(&reader->argumentTexts, count, 0)) return noMemory(reader);
  const char* texts = reader->texts.units;
  for (size_t at = 0; at < count; ++at) {
    reader->argumentTexts.units[at] = texts + reader->argumentOffsets.units[at];
  }
  CompileEntry entry = {texts + offsets[static_cast<int>(Member::Directory)],
                        texts + offsets[static_cast<int>(Member::File)],
                        reader->hasArguments ? nullptr : texts + command,
                        reader->hasArguments ? reader->argumentTexts.units : nullptr,
                        static_cast<uint32_t>(count),
                        reader->number,
                        reader->line};
  if (reader->visit(entry, reader->visitContext)) return true;
  reader->stopped = true;
  return false;
}

// A value other than an array or object; `text` is a string's.
bool scalarValue(DatabaseReader* reader, Kind kind, const std::string* text) {
  if (reader->skipped > 0) return true;
  switch (reader->level) {
    case Level::Top:
      return notArray(reader, kind);
    case Level::Entries:
      beginEntry(reader);
      return entryProblem(reader, " is not an object but %s", kKindNames[static_cast<int>(kind)]);
    case Level::Entry: {
      if (reader->member == Member::Other) return true;
      if (kind != Kind::String || reader->member == Member::Arguments) {
        return wrongKind(reader, kind);
      }
      size_t offset = storeText(reader, *text);
      if (offset == kNoText) return noMemory(reader);
      reader->textOffsets[static_cast<int>(reader->member)] = offset;
      return true;
    }
    case Level::Arguments:
      return kind == Kind::String ? addArgument(reader, *text) : wrongArgument(reader, kind);
  }
  return false;
}

bool openValue(DatabaseReader* reader, Kind kind) {
  if (reader->skipped > 0) {
    ++reader->skipped;
    return true;
  }
  switch (reader->level) {
    case Level::Top:
      if (kind != Kind::Array) return notArray(reader, kind);
      reader->level = Level::Entries;
      return true;
    case Level::Entries:
      beginEntry(reader);
      if (kind != Kind::Object) return entryProblem(reader, " is not an object but an array");
      reader->level = Level::Entry;
      return true;
    case Level::Entry:
      if (reader->member == Member::Other) {
        reader->skipped = 1;
        return true;
      }
      if (reader->member != Member::Arguments || kind != Kind::Array) {
        return wrongKind(reader, kind);
      }
      // A repeated `arguments` replaces the first.
      reader->hasArguments = true;
      reader->argumentCount = 0;
      reader->level = Level::Arguments;
      return true;
    case Level::Arguments:
      return wrongArgument(reader, kind);
  }
  return false;
}

bool closeValue(DatabaseReader* reader) {
  if (reader->skipped > 0) {
    --reader->skipped;
    return true;
  }
  switch (reader->level) {
    case Level::Arguments:
      reader->level = Level::Entry;
      return true;
    case Level::Entry:
      reader->level = Level::Entries;
      return endEntry(reader);
    default:
      reader->level = Level::Top;
      return true;
  }
}

// The parser's message without its "[json.exception.parse_error.101] parse
// error at line L, column C: ", whose place is given in the database's terms.
const char* parserReason(const char* message) {
  const char* reason = message;
  const char* bracket = reason[0] == '[' ? strstr(reason, "] ") : nullptr;
  if (bracket != nullptr) reason = bracket + 2;
  const char* colon = strncmp(reason, "parse error", 11) == 0 ? strstr(reason, ": ") : nullptr;
  return colon != nullptr ? colon + 2 : reason;
}

void reportReadError(const DatabaseReader* reader) {
  complain("cannot read the compilation database '%s' past byte %" PRIu64 ": %s", reader->name,
           offsetOf(reader->stream, reader->stream.limit), systemErrorText(reader->stream.error));
}

// The parser's `position` counts the bytes it read, the end too, in a size_t
// that a 32-bit build wraps; the stream's count is whole and at most one
// byte away.
void reportParseError(DatabaseReader* reader, size_t position, const char* message) {
  if (reader->stream.failed) {
    reportReadError(reader);
    return;
  }
  ByteStream* stream = &reader->stream;
  uint64_t consumed = offsetOf(*stream, stream->cursor);
  auto behind =
      static_cast<std::make_signed<size_t>::type>(static_cast<size_t>(consumed) - position);
  uint64_t bytesRead = consumed - static_cast<uint64_t>(static_cast<int64_t>(behind));
  Place place = placeOf(stream, bytesRead > 0 ? bytesRead - 1 : 0);
  const char* reason = parserReason(message);
  bool shortened = strnlen(reason, kShownReasonBytes + 1) > kShownReasonBytes;
  int length = static_cast<int>(shortened ? kShownReasonBytes : strlen(reason));
  complain("the compilation database '%s' is not valid JSON: line %" PRIu64 ", column %" PRIu64
           ": %.*s%s",
           reader->name, place.line, place.column, length, reason, shortened ? "..." : "");
}

// The parser's events, as nlohmann::json::sax_parse calls them.
struct SaxHandler {
  DatabaseReader* reader;

  bool null() { return scalarValue(reader, Kind::Null, nullptr); }
  bool boolean(bool) { return scalarValue(reader, Kind::Boolean, nullptr); }
  bool number_integer(Json::number_integer_t) { return scalarValue(reader, Kind::Number, nullptr); }
  bool number_unsigned(Json::number_unsigned_t) {
    return scalarValue(reader, Kind::Number, nullptr);
  }
  bool number_float(Json::number_float_t, const Json::string_t&) {
    return scalarValue(reader, Kind::Number, nullptr);
  }
  bool string(Json::string_t& text) { return scalarValue(reader, Kind::String, &text); }
  // Only the binary formats the parser also reads have these.
  bool binary(Json::binary_t&) { return scalarValue(reader, Kind::Binary, nullptr); }
  bool start_object(std::size_t) { return openValue(reader, Kind::Object); }
  bool key(Json::string_t& text) {
    if (reader->skipped == 0) reader->member = memberNamed(text);
    return true;
  }
  bool end_object() { return closeValue(reader); }
  bool start_array(std::size_t) { return openValue(reader, Kind::Array); }
  bool end_array() { return closeValue(reader); }
  bool parse_error(std::size_t position, const std::string&, const Json::exception& error) {
    reportParseError(reader, position, error.what());
    return false;
  }
};

void releaseReader(DatabaseReader* reader) {
  ::operator delete(reader->stream.block);
  ::operator delete(reader->texts.units);
  ::operator delete(reader->argumentOffsets.units);
  ::operator delete(reader->argumentTexts.units);
}

}  // namespace

int readCompileDatabase(ReadBytes read, void* readContext, const char* databaseName,
                        EntryVisitor visit, void* visitContext) {
  DatabaseReader reader = {};
  reader.name = databaseName;
  reader.visit = visit;
  reader.visitContext = visitContext;
  ByteStream* stream = &reader.stream;
  stream->read = read;
  stream->context = readContext;
  stream->block = static_cast<char*>(::operator new(kKeptBytes + kChunkBytes, std::nothrow));
  if (stream->block == nullptr) {
    complain("not enough memory to read the compilation database '%s'", databaseName);
    return 0;
  }
  stream->cursor = stream->limit = stream->countedTo = stream->block;
  SaxHandler handler = {&reader};
  bool parsed = Json::sax_parse(StreamIterator(stream), StreamIterator(nullptr), &handler);
  // A read error after a whole array still leaves the database unread.
  if (parsed && stream->failed) reportReadError(&reader);
  int result = reader.stopped || (parsed && !stream->failed);
  releaseReader(&reader);
  return result;
}

namespace {

// The last component of a UTF-8 path, after its last `/` or `\`.
// True when the entry's file has the source's last name, but for ASCII case.
bool hasSourceFileName(const char* file, const char* sourceFileName) {
  const char* name = lastPathComponent(file);
  size_t length = strlen(name);
  return length == strlen(sourceFileName) && sameIgnoringAsciiCase(name, sourceFileName, length);
}

struct EntrySearch {
  FileIdentity source;
  // The main source's last path component, as UTF-8: an entry whose file
  // ends otherwise is not resolved.
  char sourceFileName[1024];
  // Every entry is resolved, whatever its file's last component: a second
  // pass, for a source that the database names through a link of another name.
  bool anyName;
  // The database's folder, as UTF-8 ending in a separator, which a relative
  // `directory` is taken against.
  const char* databaseFolder;
  // Room for an entry's resolved file, kWorkBufferChars units, and for a
  // relative directory joined to the database's folder, kWorkBufferBytes.
  char16_t* path;
  char* directory;
  uint64_t choice;
  uint64_t matches;
  CompileEntry* picked;
  bool noMemory;
};

// A copy of the entry in one block that is never freed: the pointers to the
// arguments, then every text.
bool keepEntry(const CompileEntry& entry, CompileEntry* kept) {
  const char* texts[] = {entry.directory, entry.file, entry.command};
  size_t bytes = entry.argumentCount * sizeof(char*);
  for (const char* text : texts) bytes += text != nullptr ? strlen(text) + 1 : 0;
  for (uint32_t at = 0; at < entry.argumentCount; ++at) bytes += strlen(entry.arguments[at]) + 1;
  auto* block = static_cast<char*>(::operator new(bytes, std::nothrow));
  if (block == nullptr) return false;
  auto* arguments = reinterpret_cast<const char**>(block);
  char* next = block + entry.argumentCount * sizeof(char*);
  auto copy = [&next](const char* text) -> const char* {
    if (text == nullptr) return nullptr;
    size_t size = strlen(text) + 1;
    memcpy(next, text, size);
    next += size;
    return next - size;
  };
  *kept = entry;
  kept->directory = copy(entry.directory);
  kept->file = copy(entry.file);
  kept->command = copy(entry.command);
  for (uint32_t at = 0; at < entry.argumentCount; ++at) arguments[at] = copy(entry.arguments[at]);
  kept->arguments = entry.arguments != nullptr ? arguments : nullptr;
  return true;
}

// The entry's directory; a relative one joined to the database's folder, in
// search->directory. Null when that does not fit.
const char* placedDirectory(const EntrySearch& search, const char* directory) {
  if (isAbsoluteEntryPath(directory)) return directory;
  size_t folder = strlen(search.databaseFolder);
  size_t length = strlen(directory);
  if (folder + length >= kWorkBufferBytes) return nullptr;
  memcpy(search.directory, search.databaseFolder, folder);
  memcpy(search.directory + folder, directory, length + 1);
  return search.directory;
}

// Counts the entries that compile the main source and keeps the chosen one.
bool visitCandidate(const CompileEntry& found, void* context) {
  auto* search = static_cast<EntrySearch*>(context);
  if (!search->anyName && !hasSourceFileName(found.file, search->sourceFileName)) {
    return true;
  }
  CompileEntry entry = found;
  entry.directory = placedDirectory(*search, found.directory);
  if (entry.directory == nullptr) return true;
  if (resolveEntryPath(entry.directory, entry.file, search->path) == 0) return true;
  FileIdentity identity;
  if (!identityOfPath(search->path, &identity) || !(identity == search->source)) return true;
  ++search->matches;
  uint64_t wanted = search->choice == 0 ? 1 : search->choice;
  if (search->matches != wanted) return true;
  if (!keepEntry(entry, search->picked)) {
    search->noMemory = true;
    return false;
  }
  // All the matches are counted for the warning; a choice needs no more.
  return search->choice == 0;
}

// The file behind `context`, a HANDLE, read as ReadBytes reads.
int64_t readFromFile(char* buffer, size_t room, void* context) {
  DWORD got = 0;
  BOOL ok = ReadFile(static_cast<HANDLE>(context), buffer, static_cast<DWORD>(room), &got, nullptr);
  if (got > 0) return got;
  // A pipe whose writer has gone reports its end as a broken pipe.
  DWORD error = ok ? NO_ERROR : GetLastError();
  return error == NO_ERROR || error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? 0 : -1;
}

// The folder of the database `name`, resolved, as UTF-8 ending in a
// separator; null when no memory can be had. Freed with delete[].
const char* folderOf(const char* name) {
  oemToWide(name, ConvBuffer.wide, kWorkBufferChars);
  size_t length = resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
  while (length > 0 && ResultBuffer.wide[length - 1] != u'\\') --length;
  ResultBuffer.wide[length] = 0;
  int bytes = WideCharToMultiByte(CP_UTF8, 0, ResultBuffer.wide, -1, nullptr, 0, nullptr, nullptr);
  auto* folder = new (std::nothrow) char[bytes > 0 ? bytes : 1];
  if (folder == nullptr) return nullptr;
  folder[0] = 0;
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, ResultBuffer.wide, -1, folder, bytes, nullptr, nullptr);
  return folder;
}

// Prepares the search for `sourcePath`: its identity and its last component.
// 0 after saying why.
int beginSearch(const char16_t* sourcePath, const char* sourceName, const char* databaseName,
                EntrySearch* search) {
  if (!identityOfPath(sourcePath, &search->source)) {
    complain("cannot open the main source '%s' to find it in the compilation database '%s': %s",
             sourceName, databaseName, systemErrorText(GetLastError()));
    return 0;
  }
  const char16_t* last = sourcePath;
  for (const char16_t* at = sourcePath; *at != 0; ++at) {
    if (*at == u'\\') last = at + 1;
  }
  int bytes =
      WideCharToMultiByte(CP_UTF8, 0, last, -1, search->sourceFileName,
                          static_cast<int>(sizeof search->sourceFileName), nullptr, nullptr);
  // A name too long for any file system matches no entry.
  if (bytes == 0) search->sourceFileName[0] = 0;
  search->path =
      static_cast<char16_t*>(::operator new(kWorkBufferChars * sizeof(char16_t), std::nothrow));
  search->directory = static_cast<char*>(::operator new(kWorkBufferBytes, std::nothrow));
  search->databaseFolder = folderOf(databaseName);
  if (search->path != nullptr && search->directory != nullptr &&
      search->databaseFolder != nullptr) {
    return 1;
  }
  complain("not enough memory to read the compilation database '%s'", databaseName);
  return 0;
}

void endSearch(EntrySearch* search) {
  ::operator delete(search->path);
  ::operator delete(search->directory);
  delete[] search->databaseFolder;
}

// Reads the database once for the search. 0 after saying why.
int readForSearch(const char* databaseName, EntrySearch* search) {
  HANDLE file = openOrComplain(databaseName, GENERIC_READ, OPEN_EXISTING, "compilation database");
  int whole = file != INVALID_HANDLE_VALUE &&
              readCompileDatabase(readFromFile, file, databaseName, visitCandidate, search);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return whole;
}

// Says which entry was picked when several compile the source, or why none was.
int reportMatches(const EntrySearch& search, const char* databaseName, const char* sourceName) {
  if (search.matches == 0) {
    complain("no entry of the compilation database '%s' compiles '%s'", databaseName, sourceName);
    return 0;
  }
  if (search.choice > search.matches) {
    complain("--compile-commands-entry %" PRIu64 ": only %" PRIu64
             " entr%s of the compilation database '%s' compile%s '%s'",
             search.choice, search.matches, search.matches == 1 ? "y" : "ies", databaseName,
             search.matches == 1 ? "s" : "", sourceName);
    return 0;
  }
  if (search.choice == 0 && search.matches > 1 && countDiagnostic(Diagnostic::CompileCommand)) {
    printDiagnostic(Diagnostic::CompileCommand, databaseName, search.picked->line,
                    "%" PRIu64
                    " entries compile '%s'; the first is used (--compile-commands-entry N "
                    "picks another)",
                    search.matches, sourceName);
  }
  return 1;
}

}  // namespace

const char* databasePath(const char* path) {
  if (!namesDirectory(path)) return path;
  static const char kFileName[] = "compile_commands.json";
  size_t length = strlen(path);
  bool separated = length > 0 && (path[length - 1] == '/' || path[length - 1] == '\\');
  auto* joined = static_cast<char*>(::operator new(length + 1 + sizeof kFileName, std::nothrow));
  // Without memory the directory is named, and cannot be opened as a database.
  if (joined == nullptr) return path;
  memcpy(joined, path, length);
  if (!separated) joined[length++] = '/';
  memcpy(joined + length, kFileName, sizeof kFileName);
  return joined;
}

int findCompileEntry(const char* databaseName, const char16_t* sourcePath, const char* sourceName,
                     uint64_t choice, CompileEntry* entry) {
  EntrySearch search = {};
  search.choice = choice;
  search.picked = entry;
  if (!beginSearch(sourcePath, sourceName, databaseName, &search)) {
    endSearch(&search);
    return 0;
  }
  int whole = readForSearch(databaseName, &search);
  if (whole && search.matches == 0 && !search.noMemory) {
    search.anyName = true;
    whole = readForSearch(databaseName, &search);
  }
  endSearch(&search);
  if (!whole) return 0;
  if (search.noMemory) {
    complain(
        "not enough memory to keep the entry of the compilation database '%s' that compiles '%s'",
        databaseName, sourceName);
    return 0;
  }
  return reportMatches(search, databaseName, sourceName);
}
