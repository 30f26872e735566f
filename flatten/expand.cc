#include "expand.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "../output/dependencies.h"
#include "../output/diagnostics.h"
#include "../output/native_path.h"
#include "../output/output.h"
#include "../output/progress.h"
#include "../output/run_state.h"
#include "../platform/full_path.h"
#include "../platform/os.h"
#include "../search/search.h"
#include "byte_search.h"
#include "include_once.h"
#include "name_pattern.h"
#include "replay.h"

namespace {

constexpr char kKeyword[] = "#include";
constexpr uint8_t kKeywordLength = 8;

// includeState: values 0 to 8 mean that many bytes of the keyword have matched.
constexpr uint8_t kInQuotedName = 9;
constexpr uint8_t kInAngleName = 10;
constexpr uint8_t kQuotedComplete = 11;
// Only when angle includes are expanded; like kQuotedComplete, the rest of
// the line cannot change the state.
constexpr uint8_t kAngleComplete = 12;

enum class Comment : uint8_t { None, Line, Block };

// True when the line that ends at bytes[end] (its LF, a CR that ends it, or
// `count`, the end of the text; end > 0) ends with a backslash, perhaps
// followed by spaces or tabs and a CR: the compiler joins the next line to it.
inline bool continuesAt(const char* bytes, uint64_t end, uint64_t count) {
  auto last = static_cast<unsigned char>(bytes[end - 1]);
  if (last > ' ' && last != '\\') return false;  // most lines
  // A CR before the line's LF, or before the end, is no byte of the line; one
  // before a CR that ends the line ends a line of its own.
  if (last == '\r' && (end == count || bytes[end] == '\n')) --end;
  while (end > 0 && (bytes[end - 1] == ' ' || bytes[end - 1] == '\t')) --end;
  return end > 0 && bytes[end - 1] == '\\';
}

// True when bytes[0, count) hold a CR that no LF follows, but for a last
// byte, which ends the last line like any CR before its end.
bool holdsLoneCr(const char* bytes, uint64_t count) {
  for (uint64_t at = 0; (at = findByte(bytes, at, count, '\r')) < count; ++at) {
    if (at + 1 < count && bytes[at + 1] != '\n') return true;
  }
  return false;
}

// True for the bytes that, first on a line after its blanks, may begin an
// include or a comment, or end the line: `#`, `%`, `/` and LF. Most first
// bytes are letters or braces, which lie above `/`: one compare passes them.
inline bool mayBeginSomething(unsigned char byte) {
  constexpr uint64_t kBits = 1ull << '#' | 1ull << '%' | 1ull << '/' | 1ull << '\n';
  return byte <= '/' && (kBits >> byte & 1) != 0;
}

// The scan's byte loops take the text as an argument, not through the scan's
// state: read through a member, its address was reloaded for every byte, and
// the loop ran 18% more instructions (cachegrind, a CRLF tree).

// The place after the last LF in bytes[from, to); `from` when there is none.
inline uint64_t afterLastLineFeed(const char* bytes, uint64_t from, uint64_t to) {
  uint64_t at = to;
  while (at > from && bytes[at - 1] != '\n') --at;
  return at;
}

// The end of the line that begins at bytes[from], before `to`: its LF, or,
// where `loneCrs`, a CR that no LF follows, which ends a line as well.
inline uint64_t nextLineEnd(const char* bytes, uint64_t from, uint64_t to, uint64_t count,
                            bool loneCrs) {
  if (!loneCrs) return findByte(bytes, from, to, '\n');
  uint64_t at = findEitherByte(bytes, from, to, '\n', '\r');
  while (at < to && bytes[at] == '\r' && at + 1 < count && bytes[at + 1] == '\n') ++at;
  return at;
}

// The first byte from bytes[from] on that is no blank: an LF, a CR where
// `loneCrs` (the text holds CRs that end lines), or a byte above the space;
// `count` when none.
inline uint64_t skipBlanks(const char* bytes, uint64_t from, uint64_t count, bool loneCrs) {
  while (from < count && static_cast<unsigned char>(bytes[from]) <= 0x20 && bytes[from] != '\n' &&
         !(loneCrs && bytes[from] == '\r')) {
    ++from;
  }
  return from;
}

// Where the blanks (bytes up to the space, but LF) that end bytes[from, to)
// begin.
inline uint64_t startOfBlanks(const char* bytes, uint64_t from, uint64_t to) {
  while (to > from && static_cast<unsigned char>(bytes[to - 1]) <= 0x20 && bytes[to - 1] != '\n') {
    --to;
  }
  return to;
}

// The first LF in bytes[from, count), or CR where `crEndsLines`, or `lead`
// followed by `follow` or `other`, as findByteOrPair finds them. Each search
// is given its bytes as constants: the broadcast of a byte read from the
// scan's state went through memory and stalled on the store, which cost the
// CRLF workload a fifth more user time.
inline uint64_t findLineEndOrPair(const char* bytes, uint64_t from, uint64_t count,
                                  bool crEndsLines, char lead, char follow, char other) {
  return crEndsLines ? findByteOrPair(bytes, from, count, '\n', '\r', lead, follow, other)
                     : findByteOrPair(bytes, from, count, '\n', '\n', lead, follow, other);
}

// The files being expanded, outermost first: chain[0, depth).
int depth = 0;
FileIdentity chain[kMaxIncludeDepth];
bool chainIdentityKnown[kMaxIncludeDepth];
// With line directives: each file's path as a C string literal's text.
char* chainLinePath[kMaxIncludeDepth];
// Each file's scanned bytes, where its include lines are counted when a
// diagnostic names one.
const char* chainBytes[kMaxIncludeDepth];
uint64_t chainCount[kMaxIncludeDepth];
// The name of the include being followed, as written in the bytes of the
// file at depth - 1 (a replay follows names within them too). Diagnostics
// about it come before any file it leads to is scanned.
const char* includeName = nullptr;
uint64_t includeNameLength = 0;

RunConfig config;
// True when a file's scan depends on nothing but its bytes and the run's
// fixed tables, so that a recorded scan may stand for a later one. The modes
// that look at conditional depth, earlier files, line numbers or the names of
// includes make each scan depend on the state of the run.
bool replayable = true;

constexpr uint64_t kNoResync = ~static_cast<uint64_t>(0);

// What the modes that look at directives know of one file as it is scanned.
struct FileDirectives {
  // Null when the directives could not be listed.
  const DirectiveList* list;
  OnceClass kind;
  // Null unless in the include-once mode.
  const OnceScan* once;
  // list->items[0, next) have been met.
  uint32_t next;
  // With line directives: the file's open conditional blocks, its own guard
  // left out, and how many of the outermost of them hold text the tool put
  // in. A compiler ignores a `#line` in a block it skips, so the lines after
  // such a block's `#else`, `#elif` or `#endif` need one again, written once
  // the line that ends at resyncAt is out.
  uint32_t openBlocks;
  uint32_t blocksWithInsertions;
  uint64_t resyncAt;
  // With line directives: the file's last `#line` met, and the last that
  // gave a name; null before any.
  const Directive* sourceLine;
  const Directive* sourceLineName;
};

// The scan of one file, below: `directives` is null unless a mode needs them.
void scanLines(char* bytes, uint64_t count, FileDirectives* directives);

// Meets every directive that starts on a line up to the one at `lineStart`.
// Returns the `#pragma once` that the line holds when the include-once mode
// writes it as the definition of its own guard, or null.
const Directive* meetDirectives(FileDirectives* file, const char* bytes, uint64_t lineStart) {
  const DirectiveList& list = *file->list;
  const Directive* pragmaOnce = nullptr;
  for (; file->next < list.count && list.items[file->next].lineStart <= lineStart; ++file->next) {
    uint32_t at = file->next;
    const Directive& directive = list.items[at];
    bool ownGuard = file->kind.guarded && (at == 0 || at + 1 == list.count);
    if (file->once != nullptr) applyOnceDirective(*file->once, bytes, list, at, ownGuard);
    if (file->once != nullptr && file->once->guardNumber != 0 &&
        directive.kind == DirectiveKind::PragmaOnce && directive.lineStart == lineStart) {
      pragmaOnce = &directive;
    }
    if (!config.lineDirectives || ownGuard) continue;
    if (directive.kind == DirectiveKind::Line) {
      file->sourceLine = &directive;
      if (directive.nameLength > 0) file->sourceLineName = &directive;
    }
    bool holdsInsertion = file->openBlocks > 0 && file->openBlocks <= file->blocksWithInsertions;
    if (directive.kind == DirectiveKind::Open) {
      ++file->openBlocks;
    } else if (directive.kind == DirectiveKind::Alternative && holdsInsertion) {
      file->resyncAt = directive.end;
    } else if (directive.kind == DirectiveKind::Close && file->openBlocks > 0) {
      if (holdsInsertion) {
        file->resyncAt = directive.end;
        file->blocksWithInsertions = file->openBlocks - 1;
      }
      --file->openBlocks;
    }
  }
  return pragmaOnce;
}

void expandInclude(const char* name, uint64_t length, SearchMemo** memo);

// The compiler reads a header here that the tool does not.
void noteNotRead() {
  if (config.includeOnce) noteUnreadHeader();
}

// The length of name[0, length) as C text, which ends at a NUL byte.
size_t textLength(const char* name, uint64_t length) {
  const void* nul = memchr(name, 0, length);
  return nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - name)
                        : static_cast<size_t>(length);
}

// The native spelling of a path with `\` and `"` escaped as in a C string,
// and control characters in octal; null when it cannot be had.
char* lineDirectivePath(const char16_t* path) {
  char* native = config.absoluteLinePaths ? nativePathText(path) : relativePathText(path);
  if (native == nullptr) return nullptr;
  size_t length = strlen(native);
  auto* escaped = new (std::nothrow) char[length * 4 + 1];
  if (escaped != nullptr) {
    size_t written = 0;
    for (const char* at = native; *at != 0; ++at) {
      auto byte = static_cast<unsigned char>(*at);
      if (byte < 0x20) {
        written += static_cast<size_t>(snprintf(escaped + written, 5, "\\%03o", byte));
        continue;
      }
      if (byte == '\\' || byte == '"') escaped[written++] = '\\';
      escaped[written++] = static_cast<char>(byte);
    }
    escaped[written] = 0;
  }
  delete[] native;
  return escaped;
}

// `path` is C string text: escaped, between quotes.
void writeLineDirective(uint64_t line, const char* path, size_t length) {
  char number[32];
  snprintf(number, sizeof number, "#line %" PRIu64 " \"", line);
  writeOutputText(number);
  writeOutput(path, length);
  writeOutputText("\"\n");
}

void writeLineDirective(uint64_t line, const char* path) {
  writeLineDirective(line, path != nullptr ? path : "", path != nullptr ? strlen(path) : 0);
}

// `define TUFLAT_ONCE_<number>_`, the definition of the tool's guard around
// a `#pragma once` file, between `before` and `after`.
void writeGuardDefinition(const char* before, uint32_t number, const char* after) {
  char definition[48];
  snprintf(definition, sizeof definition, "%sdefine TUFLAT_ONCE_%u_%s", before, number, after);
  writeOutputText(definition);
}

// The line ends in bytes[from, to): LFs, and CRs not before an LF, which
// compilers take for line ends too.
uint64_t countLineEnds(const char* bytes, uint64_t from, uint64_t to, uint64_t count) {
  uint64_t ends = 0;
  for (uint64_t at = from; (at = findEitherByte(bytes, at, to, '\n', '\r')) < to; ++at) {
    if (bytes[at] == '\n' || at + 1 >= count || bytes[at + 1] != '\n') ++ends;
  }
  return ends;
}

void expandForcedIncludes();

// Scans one file's text with the modes that need to look at it. `path` is
// read only before the scan begins, which may overwrite the work buffers.
void scanFile(const char16_t* path, SourceFile* source, char* bytes, uint64_t count) {
  if (config.dependencyName != nullptr && !(depth == 1 && config.mainSourceFromStandardInput)) {
    noteDependency(path, source->identityKnown ? &source->identity : nullptr, depth > 1);
  }
  if (config.lineDirectives) chainLinePath[depth - 1] = lineDirectivePath(path);
  // After the last use of `path`: an expansion overwrites the work buffers.
  if (depth == 1) expandForcedIncludes();
  if (replayable) {
    scanOrReplay(source, bytes, count, scanText, expandInclude);
    return;
  }
  bool needsDirectives = config.includeOnce || config.lineDirectives;
  DirectiveList list;
  FileDirectives directives = {nullptr, OnceClass(), nullptr, 0, 0, 0, kNoResync, nullptr, nullptr};
  if (needsDirectives && listDirectives(bytes, count, &list)) {
    directives.list = &list;
    directives.kind = classifyOnce(bytes, list);
  }
  OnceScan once;
  if (config.includeOnce) {
    beginOnceScan(bytes, directives.list, directives.kind,
                  source->identityKnown ? &source->identity : nullptr, depth == 1, &once);
    directives.once = &once;
  }
  if (config.lineDirectives) writeLineDirective(1, chainLinePath[depth - 1]);
  scanLines(bytes, count, directives.list != nullptr ? &directives : nullptr);
  if (config.includeOnce) endOnceScan(once);
  freeDirectives(&list);
  if (config.lineDirectives) {
    delete[] chainLinePath[depth - 1];
    chainLinePath[depth - 1] = nullptr;
  }
}

// Expands an opened file. Its path may live in a work buffer: it is copied
// into slot 0 before the scan can overwrite that buffer.
void expandSource(const char16_t* path, SourceFile* source) {
  TextEntry own = {nullptr, 0};
  if (makeTextEntry(path, wideLength(path), u"\\..", &own)) readSource(source, path);
  FileContents& contents = source->contents;
  progressCount("l=%s\n", contents.count);
  if (!contents.whole) noteUnreadFile(path, contents.count, contents.size);

  if (contents.bytes != nullptr) {
    // A byte-order mark is not text: compilers refuse it anywhere but at the
    // start of a file, and it would hide an include on the first line.
    bool mark = source->kept ? source->cached->byteOrderMark : startsWithByteOrderMark(contents);
    uint64_t skip = mark ? sizeof kByteOrderMark : 0;
    chain[depth] = source->identity;
    chainIdentityKnown[depth] = source->identityKnown;
    chainBytes[depth] = contents.bytes + skip;
    chainCount[depth] = contents.count - skip;
    ++depth;
    TextEntry includer = SearchList.entries[0];
    SearchList.entries[0] = own;
    scanFile(path, source, contents.bytes + skip, contents.count - skip);
    SearchList.entries[0] = includer;
    --depth;
  }
  releaseSource(source);
  ::operator delete(own.text);
}

// The header being scanned as its user names it, by its path from the
// current directory; null when no memory can be had. Freed with delete[].
char* headerName() {
  // Slot 0 holds the path followed by `\..`.
  const TextEntry& slot = SearchList.entries[0];
  size_t length = slot.count - 1 - 3;
  auto* path = new (std::nothrow) char16_t[length + 1];
  if (path == nullptr) return nullptr;
  memcpy(path, slot.text, length * sizeof(char16_t));
  path[length] = 0;
  char* name = relativePathText(path);
  delete[] path;
  return name;
}

// The forced include being followed, from 1; 0 while an include line is.
uint32_t forcedInclude = 0;

// Says on standard error where the include being followed stands, its name
// as written, then `what`. Its line number is counted only for a warning
// that is printed. A forced include stands before the main source's first line.
void warnAtInclude(Diagnostic kind, const char* what, const char* detail = "") {
  if (!countDiagnostic(kind)) return;
  if (forcedInclude != 0) {
    printDiagnostic(kind, config.sourceName, 1, "-include '%s' %s%s",
                    config.forcedNames[forcedInclude - 1], what, detail);
    return;
  }
  const char* bytes = chainBytes[depth - 1];
  auto offset = static_cast<uint64_t>(includeName - bytes);
  uint64_t line = countLineEnds(bytes, 0, offset, chainCount[depth - 1]) + 1;
  // The name's delimiters, as the line writes them.
  char open = includeName[-1];
  char close = open == '<' ? '>' : '"';
  size_t nameBytes = textLength(includeName, includeNameLength);
  // The main source is named as its user gave it.
  char* header = depth > 1 ? headerName() : nullptr;
  const char* file = depth == 1 ? config.sourceName : header;
  printDiagnostic(kind, file != nullptr ? file : "(a path that cannot be shown)", line,
                  "%c%.*s%c %s%s", open,
                  static_cast<int>(nameBytes < INT32_MAX ? nameBytes : INT32_MAX), includeName,
                  close, what, detail);
  delete[] header;
}

// The files being expanded, as the search sees them.
OpenChain openChain() {
  return {chain, chainIdentityKnown, depth};
}

// Expands the file an include led to, unless it is the output, is already
// being expanded, or need not be expanded again. Returns 0 when no file was
// found.
int followLead(Lead lead, Found* found) {
  switch (lead) {
    case Lead::Missing:
      return 0;
    case Lead::Output:
      writeOutputText("!!! OUTPUT FILE !!!\n");
      noteOutputIncluded();
      noteNotRead();
      warnAtInclude(Diagnostic::OutputFile, "is the output file itself; wrote !!! OUTPUT FILE !!!");
      return 1;
    case Lead::Cycle:
      writeOutputText("//!!! INCLUDE CYCLE !!!\n");
      warnAtInclude(Diagnostic::Cycle, "is already being expanded; wrote //!!! INCLUDE CYCLE !!!");
      return 1;
    case Lead::Opened:
      break;
  }
  SourceFile* source = &found->source;
  if (config.includeOnce && source->identityKnown && isExpandedOnce(source->identity)) {
    releaseSource(source);
    progressWide("once-skip=<%s>\n", found->path);
    return 1;
  }
  expandSource(found->path, source);
  return 1;
}

// In place of an include's text where files are nested too deep.
void markTooDeep() {
  writeOutputText("!!! INCLUDE TOO DEEP !!!\n");
  noteTooDeep();
  noteNotRead();
  warnAtInclude(Diagnostic::TooDeep, "is nested too deep; wrote !!! INCLUDE TOO DEEP !!!");
}

// Writes a forced include's comment line: its name as the build wrote it, up
// to a line end, which would end the comment.
void writeForcedIncludeComment(const char* name) {
  writeOutputText("//--- -include ");
  writeOutput(name, strcspn(name, "\r\n"));
  writeOutputText("\n");
}

// Before the main source's first line: the files a compiler's `-include`
// reads there, found before the run began and opened as they stand.
void expandForcedIncludes() {
  for (uint32_t at = 0; at < config.forcedCount; ++at) {
    writeForcedIncludeComment(config.forcedNames[at]);
    // As written; the lines of the search that follow show where it was found.
    progressBytes("#include: [%s]\n", config.forcedNames[at], strlen(config.forcedNames[at]));
    forcedInclude = at + 1;
    Found found;
    if (!followLead(findQuoted(config.forcedPaths[at].text, nullptr, openChain(), &found),
                    &found)) {
      writeOutputText("!!! NO FILE !!!\n");
      if (config.includeOnce) noteMissingHeader();
      warnAtInclude(Diagnostic::NotFound, "cannot be opened; wrote !!! NO FILE !!!");
    }
    forcedInclude = 0;
  }
}

// A header found beside the main source, where a compiler given the same
// directories does not look: says which file that compiler reads instead.
void warnIfCompilerReadsAnother(const char16_t* name, const SourceFile& found) {
  const char16_t* other = compilerCandidate(name);
  FileIdentity identity;
  if (other != nullptr && found.identityKnown && identityOfPath(other, &identity) &&
      identity == found.identity) {
    return;
  }
  if (other == nullptr) {
    warnAtInclude(Diagnostic::SearchDiffers,
                  "found beside the main source, where the compiler does not look");
    return;
  }
  char* shown = relativePathText(other);
  warnAtInclude(Diagnostic::SearchDiffers, "found beside the main source; the compiler would read ",
                shown != nullptr ? shown : "a file that cannot be shown");
  delete[] shown;
}

// Follows the quoted include whose name is `name[0, length)`.
void expandInclude(const char* name, uint64_t length, SearchMemo** memo) {
  ScanRecorder* recorder = suspendForInclude(name, length);
  includeName = name;
  includeNameLength = length;
  size_t nameBytes = textLength(name, length);
  char16_t* wideName = ResultBuffer.wide;
  char16_t* longName = nullptr;
  if (oemToWideCounted(name, nameBytes, wideName, kWorkBufferChars) < 0) {
    // Too long for the buffer: shown and searched, though no candidate can hold it.
    wideName[0] = 0;
    int needed = oemToWideCounted(name, nameBytes, nullptr, 0);
    size_t room = needed > 0 ? static_cast<size_t>(needed) + 1 : 1;
    longName = static_cast<char16_t*>(::operator new(room * sizeof(char16_t), std::nothrow));
    if (longName != nullptr && oemToWideCounted(name, nameBytes, longName, room) >= 0) {
      wideName = longName;
    }
  }
  progressWide("#include: [%s]\n", wideName);
  if (depth >= kMaxIncludeDepth) {
    markTooDeep();
  } else if (!expandFile(wideName, memo)) {
    // Searched or opened directly, a name that nothing supplies leaves a trace.
    writeOutputText("!!! NO FILE !!!\n");
    if (config.includeOnce) noteMissingHeader();
    warnAtInclude(Diagnostic::NotFound, "not found; wrote !!! NO FILE !!!");
  }
  ::operator delete(longName);
  resumeAfterInclude(recorder);
}

// Looks for an angle include's name as a compiler does; Missing also for a
// name too long for the buffer, which fits no candidate either.
Lead findAngleInclude(const char* name, uint64_t length, Found* found) {
  char16_t* wideName = ResultBuffer.wide;
  if (oemToWideCounted(name, textLength(name, length), wideName, kWorkBufferChars) < 0) {
    return Lead::Missing;
  }
  return findAngle(wideName, openChain(), found);
}

// True when an include's name matches a `--no-expand` pattern.
bool isLeftOut(const char* name, uint64_t length) {
  size_t nameBytes = textLength(name, length);
  for (uint32_t at = 0; at < config.noExpandCount; ++at) {
    if (matchesPattern(config.noExpand[at], name, nameBytes)) return true;
  }
  return false;
}

}  // namespace

void expandMainSource(const char16_t* path, SourceFile* source, const RunConfig& modes) {
  config = modes;
  if (config.includeOnce) beginOnceRun(DefineList);
  replayable = !config.includeOnce && !config.lineDirectives && !config.expandAngle &&
               config.noExpandCount == 0;
  announceMainSource(path);
  expandSource(path, source);
}

int expandFile(const char16_t* path, SearchMemo** memo) {
  Found found;
  Lead lead = findQuoted(path, memo, openChain(), &found);
  if (lead != Lead::Opened || found.slot != 1 || !config.compilerSkipsMainDirectory) {
    return followLead(lead, &found);
  }
  // The warning's search overwrites the buffer that the found path may be in.
  size_t length = wideLength(found.path);
  auto* foundPath = new (std::nothrow) char16_t[length + 1];
  if (foundPath != nullptr) {
    memcpy(foundPath, found.path, (length + 1) * sizeof(char16_t));
    warnIfCompilerReadsAnother(path, found.source);
    found.path = foundPath;
  }
  int followed = followLead(lead, &found);
  delete[] foundPath;
  return followed;
}

namespace {

// The scan of one file's text. It copies the text to the output in spans,
// and writes each include line commented, followed by what the include leads
// to. Its members are grouped by what they handle: where lines start, the
// runs of bytes that change nothing, the per-byte state of a line (comments,
// the keyword, an include's name), the end of a line, and the writing of
// include lines, run-on directives, line numbers and include-once guards.
struct LineScan {
  const char* const bytes;
  const uint64_t count;
  // Null unless a mode needs the file's directives.
  FileDirectives* const directives;
  // A CR that no LF follows ends a line for compilers: there a line comment
  // ends and a directive may begin. Such CRs are rare, and the searches stop
  // at CRs only in a text that holds one.
  const bool loneCrs;

  Comment comment = Comment::None;
  // True while the line holds nothing but blanks and the bytes of the
  // keyword that includeState counts.
  bool atLineStart = true;
  // Values 0 to kKeywordLength: that many bytes of the keyword have matched
  // on the line; then the states of an include's name. From kInQuotedName or
  // kInAngleName on, the name starts at nameStart; from kQuotedComplete on,
  // it is bytes[nameStart, closeOffset).
  uint8_t includeState = 0;
  uint64_t nameStart = 0;
  uint64_t closeOffset = 0;
  // The first byte of the line being read.
  uint64_t lineStart = 0;
  // bytes[unwritten, lineStart) is finished text, identical to what the
  // output needs, not yet written: it goes out as one span when something
  // breaks it (a dropped CR, an include line, the end of the file). When a
  // line starts, unwritten <= lineStart.
  uint64_t unwritten = 0;
  // With line directives: bytes[0, counted) holds linesCounted line ends.
  uint64_t counted = 0;
  uint64_t linesCounted = 0;
  // With line directives: the file's own `#line` that numbers the lines now,
  // null before any, and the number of the line after it.
  const Directive* numberedBy = nullptr;
  uint64_t numberedFrom = 0;
  // An include line whose line ends inside a block comment or is continued
  // by a backslash runs on: the lines up to the one that ends with neither
  // belong to its directive, and so are written with it before the
  // expansion. Its first line starts at directiveStart.
  bool runningOn = false;
  uint64_t directiveStart = 0;
  // With include-once: the number of the tool's guard whose definition goes
  // on a line of its own once the logical line being read ends; 0 when none.
  uint32_t pendingGuard = 0;

  LineScan(const char* text, uint64_t length, FileDirectives* fileDirectives)
      : bytes(text),
        count(length),
        directives(fileDirectives),
        loneCrs(holdsLoneCr(text, length)) {}

  // The loop reads each byte once, in one of its two halves: a search that
  // passes a run of bytes, or the byte's own step. Both, and the parts they
  // call that take the window, are forced inline, so that the window stays a
  // register (see run); endLine, which most lines of code never reach, and
  // isDigraph stay out of it, as they were in the one function measured
  // before the scan was split.
  void run();

  // Where lines start.
  void startLine(uint64_t at);
  bool startLastLine(uint64_t from, uint64_t to);
  bool joinsLineBefore() const;
  __attribute__((noinline)) bool isDigraph(uint64_t at) const;
  __attribute__((always_inline)) inline uint64_t startPlainLine(uint64_t lineFeed,
                                                                uint16_t* window);

  // Runs of bytes that cannot change the state.
  __attribute__((always_inline)) inline uint64_t skipQuietBytes(uint64_t at, uint16_t* window);
  uint64_t skipBlockCommentLines(uint64_t at);
  uint64_t skipCodeLines(uint64_t at);

  // The state of the line, a byte at a time.
  __attribute__((always_inline)) inline uint64_t readByte(uint64_t at, uint16_t* window);
  __attribute__((always_inline)) inline uint64_t readLineFeed(uint64_t at, uint16_t* window);
  __attribute__((always_inline)) inline uint64_t readCodeByte(uint64_t at, unsigned char byte,
                                                              uint16_t* window);
  void readNameDelimiter(uint64_t at, unsigned char byte);
  __attribute__((always_inline)) inline bool opensComment(uint64_t at, uint16_t* window);

  // The end of a line, and what it writes.
  __attribute__((noinline)) void endLine(uint64_t end);
  void passLeftOutInclude();
  bool holdDirective(uint64_t end);
  bool writeIncludeLine(uint64_t end, uint64_t textEnd);
  bool expandAngleLine(uint64_t end, uint64_t textEnd);
  void copyLine(uint64_t end, uint64_t textEnd);

  // Commented lines.
  void writeCommentedText(uint64_t from, uint64_t to);
  void writeCommented(uint64_t end, uint64_t textEnd);
  void passEarlierLines(bool commented);
  void writeDirective(uint64_t end, uint64_t textEnd);

  // The directives of the modes: line numbers and include-once guards.
  void writeNextLineNumber(uint64_t end);
  void resumeLines(uint64_t end);
  void resyncLineNumbers(uint64_t end);
  bool writePragmaOnce(const Directive& pragma, uint64_t end, uint64_t textEnd);
  void writePendingGuard(uint64_t end);
};

void scanLines(char* bytes, uint64_t count, FileDirectives* directives) {
  LineScan scan(bytes, count, directives);
  scan.run();
}

void LineScan::run() {
  // The last two bytes read, the latest in the low byte. 0 once a comment
  // opens or closes, so that no byte of its delimiter pairs with another.
  // Only the loop's inlined parts use it: kept out of the scan's state,
  // whose address the parts out of line take, it stays in a register. As a
  // member it was stored and loaded again at every byte, and the CRLF
  // workload took 7% more user time.
  uint16_t window = 0;
  uint64_t at = 0;
  while (at < count) {
    at = skipQuietBytes(at, &window);
    if (at == count) break;
    at = readByte(at, &window);
  }
  if (lineStart < count) endLine(count);
  writeLastingOutput(bytes + unwritten, count - unwritten);
}

// A line begins at bytes[at]: nothing of an include is seen on it yet.
void LineScan::startLine(uint64_t at) {
  lineStart = at;
  atLineStart = true;
  includeState = 0;
}

// The LFs of bytes[from, to), passed without a stop, only started lines:
// the last of them starts the line that holds bytes[to]. True when there is one.
bool LineScan::startLastLine(uint64_t from, uint64_t to) {
  uint64_t at = afterLastLineFeed(bytes, from, to);
  if (at > from) startLine(at);
  return at > from;
}

// A line joined to the one before by a backslash holds no directive.
bool LineScan::joinsLineBefore() const {
  return lineStart > 1 && continuesAt(bytes, lineStart - 1, count);
}

// The `%` at bytes[at], first on its line, and the byte after it are `%:`,
// the digraph of the `#`, which begins a directive. Out of line: it is
// seldom needed, and inlined it crowds the registers of the scan's loop.
bool LineScan::isDigraph(uint64_t at) const {
  return at + 1 < count && bytes[at + 1] == ':' && !joinsLineBefore();
}

// After the LF at bytes[lineFeed] that ends a line with no include and no
// CR to drop: the line stays in the span not yet written. The next line's
// blanks change nothing but the window. A first byte other than `#`, `%`,
// `/` or an LF ends the chance of an include and opens nothing: the scan
// goes on past it. Returns the place of the next byte to read.
uint64_t LineScan::startPlainLine(uint64_t lineFeed, uint16_t* window) {
  startLine(lineFeed + 1);
  if (comment != Comment::None) return lineFeed + 1;
  uint64_t first = skipBlanks(bytes, lineFeed + 1, count, loneCrs);
  if (opensComment(first, window)) return first + 2;
  if (first == count || bytes[first] == '\r' ||
      mayBeginSomething(static_cast<unsigned char>(bytes[first]))) {
    if (first > lineFeed + 1) *window = static_cast<uint8_t>(bytes[first - 1]);
    return first;
  }
  atLineStart = false;
  *window = static_cast<uint8_t>(bytes[first]);
  return first + 1;
}

// Most bytes cannot change the state: inside a comment only an LF or a
// closing `*/` can, and on a line that can no longer be an include only an
// LF or an opening `//` or `/*`. Such runs are skipped, a `*` or `/` that
// opens or closes nothing with them; the byte before the first one not
// skipped is all the window needs to hold. Returns the place of the first
// byte from bytes[at] on that may change the state, or count.
uint64_t LineScan::skipQuietBytes(uint64_t at, uint16_t* window) {
  while (at < count) {
    uint8_t previous = static_cast<uint8_t>(*window);
    if (previous == '/' || previous == '*') return at;
    uint64_t next = at;
    if (comment == Comment::Line) {
      next =
          loneCrs ? findEitherByte(bytes, at, count, '\n', '\r') : findByte(bytes, at, count, '\n');
    } else if (comment == Comment::Block && directives == nullptr &&
               includeState < kQuotedComplete && bytes[at] != '\n') {
      next = skipBlockCommentLines(at);
      if (next < count && bytes[next] == '*') {
        // The `*/` that ends the comment; like any byte of code, its `/`
        // ends the chance of an include on its line.
        comment = Comment::None;
        atLineStart = false;
        *window = 0;
        at = next + 2;
        continue;
      }
    } else if (comment == Comment::Block) {
      next = findLineEndOrPair(bytes, at, count, loneCrs && includeState < kQuotedComplete, '*',
                               '/', '/');
    } else if (!atLineStart && includeState < kKeywordLength && directives == nullptr &&
               bytes[at] != '\n') {
      next = skipCodeLines(at);
      if (opensComment(next, window)) {
        at = next + 2;
        continue;
      }
    } else if (!atLineStart && (includeState < kKeywordLength || includeState >= kQuotedComplete)) {
      next = findLineEndOrPair(bytes, at, count, loneCrs, '/', '/', '*');
    }
    if (next > at) *window = static_cast<uint8_t>(bytes[next - 1]);
    return next;
  }
  return at;
}

// The LFs of a block comment on a line that holds no include only start
// lines, as after a plain line, unless a CR before one is to be dropped: the
// search stops at every CR, and an LF that may follow one is met first.
// Returns the place of the CR or of the comment's closing `*`, or count.
uint64_t LineScan::skipBlockCommentLines(uint64_t at) {
  uint64_t next = findByteOrPair(bytes, at, count, '\r', '\r', '*', '/', '/');
  startLastLine(at, next);
  return next;
}

// Lines that hold no include and no CR need no stop at their LF: the run
// ends where a comment opens, at a CR, or at a `#` or `%` that may begin an
// include, and the line that holds it starts after the run's last LF, as if
// each LF had been met. Returns the place where the run ends, or count.
uint64_t LineScan::skipCodeLines(uint64_t at) {
  uint64_t next = findCodeStop(bytes, at, count);
  uint64_t blanks = startOfBlanks(bytes, at, next);
  if (blanks > at && bytes[blanks - 1] == '\n') {
    startLine(blanks);
  } else if (next == count) {
    // The file's last LF may end its last line, which is no include.
    startLastLine(at, next);
    atLineStart = false;
  }
  return next;
}

// Reads bytes[at] into the state: a comment's delimiters, a line's end, or
// a byte of code. Returns the place of the next byte to read.
uint64_t LineScan::readByte(uint64_t at, uint16_t* window) {
  unsigned char byte = static_cast<unsigned char>(bytes[at]);
  auto pair = static_cast<uint16_t>(*window << 8 | byte);
  *window = pair;
  if (pair == 0x2F2F && comment == Comment::None) {
    comment = Comment::Line;
    *window = 0;
  } else if (pair == 0x2F2A && comment == Comment::None) {
    comment = Comment::Block;
    *window = 0;
  } else if (pair == 0x2A2F && comment == Comment::Block) {
    comment = Comment::None;
    *window = 0;
  } else if (byte == '\n') {
    return readLineFeed(at, window);
  } else if (byte == '\r' && loneCrs && at + 1 < count && bytes[at + 1] != '\n' &&
             (comment != Comment::Block || includeState < kQuotedComplete)) {
    // The CR ends the line as an LF would; it stays in the output unless
    // the line is written otherwise. In a block comment after an include's
    // name it is left to the directive's commented lines.
    if (comment == Comment::Line && !continuesAt(bytes, at, count)) comment = Comment::None;
    endLine(at);
    return at + 1;
  }
  if (byte <= 0x20 || comment != Comment::None) return at + 1;
  return readCodeByte(at, byte, window);
}

// The LF at bytes[at] ends a line.
uint64_t LineScan::readLineFeed(uint64_t at, uint16_t* window) {
  // A backslash at the end carries a line comment on to the next line.
  if (comment == Comment::Line && !continuesAt(bytes, at, count)) comment = Comment::None;
  // Most lines: no include, no CR to drop.
  if (directives == nullptr && includeState < kQuotedComplete && bytes[at - (at > 0)] != '\r') {
    return startPlainLine(at, window);
  }
  endLine(at);
  return at + 1;
}

// A byte of code outside any comment, no blank: a byte of the keyword at
// the line's start, or of an include's name. Returns the place of the next
// byte to read.
uint64_t LineScan::readCodeByte(uint64_t at, unsigned char byte, uint16_t* window) {
  if (atLineStart && includeState < kKeywordLength) {
    if (byte == static_cast<unsigned char>(kKeyword[includeState])) {
      if (includeState > 0 || !joinsLineBefore()) {
        ++includeState;
        return at + 1;
      }
    } else if (byte == '%' && includeState == 0 && isDigraph(at)) {
      // Its `:` is passed with it.
      includeState = 1;
      *window = ':';
      return at + 2;
    }
  }
  atLineStart = false;
  readNameDelimiter(at, byte);
  return at + 1;
}

// A quote or angle bracket after the keyword opens an include's name, and
// its partner closes it.
void LineScan::readNameDelimiter(uint64_t at, unsigned char byte) {
  if (byte == '"') {
    if (includeState == kInQuotedName) {
      includeState = kQuotedComplete;
      closeOffset = at;
    } else if (includeState == kKeywordLength) {
      nameStart = at + 1;
      includeState = kInQuotedName;
    }
  } else if (byte == '<') {
    if (includeState == kKeywordLength) {
      nameStart = at + 1;
      includeState = kInAngleName;
    }
  } else if (byte == '>' && includeState == kInAngleName) {
    // Printed as C text: the name ends at a NUL byte.
    printAngleInclude(bytes + nameStart, textLength(bytes + nameStart, at - nameStart));
    closeOffset = at;
    includeState = config.expandAngle ? kAngleComplete : 0;
  }
}

// A `//` or `/*` at bytes[at] opens its comment at once: its two bytes do
// nothing else, and a comment's first byte pairs with no byte before it.
bool LineScan::opensComment(uint64_t at, uint16_t* window) {
  if (at + 1 >= count || bytes[at] != '/' || (bytes[at + 1] != '/' && bytes[at + 1] != '*')) {
    return false;
  }
  comment = bytes[at + 1] == '/' ? Comment::Line : Comment::Block;
  atLineStart = false;
  *window = 0;
  return true;
}

// Ends the line bytes[lineStart, end); `end` is its LF, a CR that ends it,
// or `count` for a last line without one, which is written like any other.
void LineScan::endLine(uint64_t end) {
  uint64_t textEnd = end;
  if (textEnd > lineStart && bytes[textEnd - 1] == '\r') --textEnd;
  const Directive* pragma =
      directives != nullptr ? meetDirectives(directives, bytes, lineStart) : nullptr;
  bool pragmaWritten = pragma != nullptr && writePragmaOnce(*pragma, end, textEnd);
  if (includeState == kQuotedComplete && config.noExpandCount > 0 &&
      isLeftOut(bytes + nameStart, closeOffset - nameStart)) {
    passLeftOutInclude();
  }
  if (includeState >= kQuotedComplete && holdDirective(end)) return;
  // A pragma written commented needs nothing more.
  if (!writeIncludeLine(end, textEnd) && !pragmaWritten) copyLine(end, textEnd);
  if (directives != nullptr && directives->resyncAt <= end) resyncLineNumbers(end);
  if (pendingGuard != 0 && comment != Comment::Block && !continuesAt(bytes, end, count)) {
    writePendingGuard(end);
  }
  startLine(end + 1);
}

// A quoted include whose name matches a `--no-expand` pattern is copied as
// it stands, and only reported.
void LineScan::passLeftOutInclude() {
  noteNotRead();
  progressBytes("#include: [%s]\n", bytes + nameStart,
                textLength(bytes + nameStart, closeOffset - nameStart));
  includeState = 0;
}

// An include line's directive runs on past the line that ends at `end`
// when that line ends inside a block comment or with a backslash and
// another line follows: the scan reads that one as part of the directive.
bool LineScan::holdDirective(uint64_t end) {
  if (end + 1 >= count || (comment != Comment::Block && !continuesAt(bytes, end, count))) {
    return false;
  }
  if (!runningOn) directiveStart = lineStart;
  runningOn = true;
  uint8_t state = includeState;
  startLine(end + 1);
  includeState = state;
  atLineStart = false;
  return true;
}

// The include line that ends at `end` written commented and followed by what
// it leads to. False when the line is no include to follow, and so is left
// to be copied.
bool LineScan::writeIncludeLine(uint64_t end, uint64_t textEnd) {
  if (includeState == kQuotedComplete) {
    writeDirective(end, textEnd);
    expandInclude(bytes + nameStart, closeOffset - nameStart, nullptr);
  } else if (includeState != kAngleComplete || !expandAngleLine(end, textEnd)) {
    return false;
  }
  resumeLines(end);
  return true;
}

// An angle include found in a `/I` directory is written commented and
// followed, or marked as a quoted one is where the nesting is too deep;
// one not found is left to the caller, to be copied.
bool LineScan::expandAngleLine(uint64_t end, uint64_t textEnd) {
  Found found;
  bool leftOut = isLeftOut(bytes + nameStart, closeOffset - nameStart);
  if (leftOut) noteNotRead();
  Lead lead = leftOut ? Lead::Missing
                      : findAngleInclude(bytes + nameStart, closeOffset - nameStart, &found);
  if (lead == Lead::Missing) {
    passEarlierLines(false);
    return false;
  }
  writeDirective(end, textEnd);
  includeName = bytes + nameStart;
  includeNameLength = closeOffset - nameStart;
  if (depth >= kMaxIncludeDepth) {
    if (lead == Lead::Opened) releaseSource(&found.source);
    markTooDeep();
  } else {
    followLead(lead, &found);
  }
  return true;
}

// A line copied as it stands joins the span not yet written, unless a CR
// before its LF is dropped or it is the last line and lacks its LF.
void LineScan::copyLine(uint64_t end, uint64_t textEnd) {
  if (end == count) {
    writeLastingOutput(bytes + unwritten, textEnd - unwritten);
    writeLastingText("\n");
    unwritten = count;
  } else if (textEnd < end) {
    // The LF stays and starts the next span.
    writeLastingOutput(bytes + unwritten, textEnd - unwritten);
    unwritten = end;
  }
}

// Writes bytes[from, to) as `//--- ` lines. A CR that no LF follows, met
// inside a comment, would end such a line for the compiler: an LF and the
// prefix take its place.
void LineScan::writeCommentedText(uint64_t from, uint64_t to) {
  writeLastingText("//--- ");
  for (uint64_t at = from; loneCrs && (at = findByte(bytes, at, to, '\r')) < to; ++at) {
    if (at + 1 >= count || bytes[at + 1] == '\n') continue;
    writeLastingOutput(bytes + from, at - from);
    writeLastingText("\n//--- ");
    from = at + 1;
  }
  writeLastingOutput(bytes + from, to - from);
  writeLastingText("\n");
}

// Writes the line bytes[lineStart, textEnd) as a comment; `end` as in endLine.
void LineScan::writeCommented(uint64_t end, uint64_t textEnd) {
  writeLastingOutput(bytes + unwritten, lineStart - unwritten);
  writeCommentedText(lineStart, textEnd);
  unwritten = end < count ? end + 1 : count;
}

// The lines of a directive that ran on, all but its last (the line at
// lineStart), go out commented, or copied as any other line is.
void LineScan::passEarlierLines(bool commented) {
  if (!runningOn) return;
  if (commented) {
    writeLastingOutput(bytes + unwritten, directiveStart - unwritten);
    unwritten = directiveStart;
  }
  for (uint64_t from = directiveStart; from < lineStart;) {
    uint64_t end = nextLineEnd(bytes, from, lineStart, count, loneCrs);
    uint64_t textEnd = bytes[end] == '\n' && end > from && bytes[end - 1] == '\r' ? end - 1 : end;
    if (commented) {
      writeCommentedText(from, textEnd);
      unwritten = end + 1;
    } else if (textEnd < end) {
      writeLastingOutput(bytes + unwritten, textEnd - unwritten);
      unwritten = end;
    }
    from = end + 1;
  }
  runningOn = false;
}

// Writes the lines of an include's directive commented, the last of them
// bytes[lineStart, textEnd). Where that one ends with a backslash (at the
// end of the file) an empty line follows, for the compiler to join to it
// instead of the first line of the expansion.
void LineScan::writeDirective(uint64_t end, uint64_t textEnd) {
  passEarlierLines(true);
  writeCommented(end, textEnd);
  if (continuesAt(bytes, end, count)) writeLastingText("\n");
}

// Where the file's own text goes on after the line that ends at `end`.
void LineScan::writeNextLineNumber(uint64_t end) {
  linesCounted += countLineEnds(bytes, counted, end, count);
  counted = end;
  uint64_t next = linesCounted + 2;
  const Directive* set = directives != nullptr ? directives->sourceLine : nullptr;
  if (set == nullptr) {
    writeLineDirective(next, chainLinePath[depth - 1]);
    return;
  }
  if (set != numberedBy) {
    numberedBy = set;
    numberedFrom = countLineEnds(bytes, 0, set->end, count) + 2;
  }
  // As the compiler would number it, from the directive on.
  uint64_t number = next >= numberedFrom ? set->spanStart + (next - numberedFrom) : set->spanStart;
  const Directive* named = directives->sourceLineName;
  if (named == nullptr) {
    writeLineDirective(number, chainLinePath[depth - 1]);
  } else {
    writeLineDirective(number, bytes + named->nameStart, named->nameLength);
  }
}

// After the text put in for the include line that ends at `end`.
void LineScan::resumeLines(uint64_t end) {
  if (!config.lineDirectives) return;
  if (directives != nullptr) directives->blocksWithInsertions = directives->openBlocks;
  writeNextLineNumber(end);
}

// After the `#else`, `#elif` or `#endif` line that ends at `end`, of a block
// that holds text the tool put in: its lines need a `#line` again.
void LineScan::resyncLineNumbers(uint64_t end) {
  directives->resyncAt = kNoResync;
  if (end == count) return;
  writeLastingOutput(bytes + unwritten, end + 1 - unwritten);
  unwritten = end + 1;
  writeNextLineNumber(end);
}

// A `#pragma once` becomes the definition of the tool's guard, its words
// replaced and the rest of its line kept; a `_Pragma("once")` is cut out
// and the definition follows its line. Where a splice divides the words,
// the directive's line is written commented (an operator stays: in the
// main file the compiler ignores it) and the definition follows. Returns
// true when the line is written.
bool LineScan::writePragmaOnce(const Directive& pragma, uint64_t end, uint64_t textEnd) {
  uint32_t number = directives->once->guardNumber;
  if (pragma.spanEnd > textEnd) {
    pendingGuard = number;
    if (pragma.inText) return false;
    writeCommented(end, textEnd);
    return true;
  }
  writeLastingOutput(bytes + unwritten, pragma.spanStart - unwritten);
  unwritten = pragma.spanEnd;
  if (pragma.inText) {
    pendingGuard = number;
  } else {
    writeGuardDefinition("", number, "");
  }
  return false;
}

// The pending guard's definition, on a line of its own after the line that
// ends at `end`.
void LineScan::writePendingGuard(uint64_t end) {
  if (end < count) {
    writeLastingOutput(bytes + unwritten, end + 1 - unwritten);
    unwritten = end + 1;
  }
  writeGuardDefinition("#", pendingGuard, "\n");
  pendingGuard = 0;
  if (config.lineDirectives && end < count) writeNextLineNumber(end);
}

}  // namespace

void scanText(char* bytes, uint64_t count) {
  scanLines(bytes, count, nullptr);
}
