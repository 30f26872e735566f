#include "expand.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "../platform/full_path.h"
#include "../platform/os.h"
#include "byte_search.h"
#include "dependencies.h"
#include "diagnostics.h"
#include "include_once.h"
#include "name_candidates.h"
#include "name_pattern.h"
#include "native_path.h"
#include "output.h"
#include "progress.h"
#include "replay.h"
#include "run_state.h"
#include "search_memo.h"

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

// The files being expanded, outermost first: chain[0, depth).
int depth = 0;
FileIdentity chain[kMaxIncludeDepth];
bool chainIdentityKnown[kMaxIncludeDepth];
// With line directives: each file's path as a C string literal's text.
char* chainLinePath[kMaxIncludeDepth];

RunConfig config;
// True when a file's scan depends on nothing but its bytes and the run's
// fixed tables, so that a recorded scan may stand for a later one. The modes
// that look at conditional depth, earlier files, line numbers or the names of
// includes make each scan depend on the state of the run.
bool replayable = true;

constexpr uint64_t kNoResync = ~static_cast<uint64_t>(0);

// SearchList slots from this one on hold the `/I` directories.
constexpr uint32_t kFirstIncludeDirectorySlot = 2;

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

bool isOnChain(const FileIdentity& identity) {
  for (int level = 0; level < depth; ++level) {
    if (chainIdentityKnown[level] && chain[level] == identity) return true;
  }
  return false;
}

// The length of name[0, length) as C text, which ends at a NUL byte.
size_t textLength(const char* name, uint64_t length) {
  const void* nul = memchr(name, 0, length);
  return nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - name)
                        : static_cast<size_t>(length);
}

// The resolved path of `name` in a SearchList slot, in ConvBuffer; null
// when it does not fit the buffer, and so cannot open.
const char16_t* candidatePath(uint32_t slot, const char16_t* name, size_t nameLength) {
  const char16_t* directory = SearchList.entries[slot].text;
  size_t directoryLength = SearchList.entries[slot].count - 1;
  if (directoryLength + 1 + nameLength >= kWorkBufferChars) return nullptr;
  char16_t* candidate = CandidateBuffer.wide;
  memcpy(candidate, directory, directoryLength * sizeof(char16_t));
  candidate[directoryLength] = u'\\';
  memcpy(candidate + directoryLength + 1, name, (nameLength + 1) * sizeof(char16_t));
  resolveFullPath(candidate, ConvBuffer.wide, kWorkBufferBytes);
  return ConvBuffer.wide;
}

void printEntry(const char16_t* path) {
  SearchMemo* none = nullptr;
  printTrial(&RunSearchMemos, &none, path, SearchList.entries[0].text);
}

int expandOpened(const char16_t* path, SourceFile* source);

// The candidates of one search in the `/I` slots, found when first needed.
struct KnownCandidates {
  NameCandidates* found = nullptr;
  bool looked = false;
};

// The candidate of `name` in `slot`, with its cache entry in *entry (null
// when the cache cannot hold it); null when there is none.
const char16_t* candidateIn(uint32_t slot, const char16_t* name, size_t nameLength,
                            KnownCandidates* known, CachedPath** entry) {
  CachedPath** remembered = nullptr;
  if (slot >= kFirstIncludeDirectorySlot) {
    if (!known->looked) {
      known->found = findCandidates(&RunCandidates, name, nameLength, SearchList.count);
      known->looked = true;
    }
    if (known->found != nullptr) remembered = &known->found->entries[slot];
  }
  if (remembered != nullptr && *remembered != nullptr) {
    *entry = *remembered;
    return (*entry)->key.text;
  }
  const char16_t* candidate = candidatePath(slot, name, nameLength);
  *entry = candidate != nullptr ? findPath(&RunFileCache, candidate) : nullptr;
  if (remembered != nullptr) *remembered = *entry;
  return candidate;
}

// Tries the name in the SearchList slots in order, from the first not known
// to miss; the first that opens wins.
int search(const char16_t* name, SearchMemo** memo) {
  size_t nameLength = wideLength(name);
  const char16_t* includer = SearchList.entries[0].text;
  SearchStart start = beginSearch(&RunSearchMemos, includer, name, memo);
  if (!start.printed) printTrial(&RunSearchMemos, &start.recording, name, includer);
  KnownCandidates known;
  for (uint32_t slot = start.slot; slot < SearchList.count; ++slot) {
    CachedPath* entry = slot == start.slot ? start.hit : nullptr;
    const char16_t* candidate;
    if (entry != nullptr) {
      candidate = entry->key.text;
    } else {
      candidate = candidateIn(slot, name, nameLength, &known, &entry);
      if (candidate == nullptr) continue;
      printTrial(&RunSearchMemos, &start.recording, candidate, includer);
    }
    SourceFile source;
    if (openCachedSource(candidate, entry, &source)) {
      noteHit(&start.recording, slot, entry);
      return expandOpened(candidate, &source);
    }
    noteMiss(&start.recording, slot, entry);
  }
  return 0;
}

// The native spelling of a path with `\` and `"` escaped as in a C string,
// and control characters in octal; null when it cannot be had.
char* lineDirectivePath(const char16_t* path) {
  char* native = nativePathText(path);
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

void writeLineDirective(uint64_t line, const char* path) {
  char number[32];
  snprintf(number, sizeof number, "#line %" PRIu64 " \"", line);
  writeOutputText(number);
  writeOutputText(path != nullptr ? path : "");
  writeOutputText("\"\n");
}

// Scans one file's text with the modes that need to look at it. `path` is
// read only before the scan begins, which may overwrite the work buffers.
void scanFile(const char16_t* path, SourceFile* source, char* bytes, uint64_t count) {
  if (config.dependencyName != nullptr) {
    noteDependency(path, source->identityKnown ? &source->identity : nullptr, depth > 1);
  }
  if (replayable) {
    scanOrReplay(source, bytes, count, expandInclude);
    return;
  }
  if (config.lineDirectives) chainLinePath[depth - 1] = lineDirectivePath(path);
  bool needsDirectives = config.includeOnce || config.lineDirectives;
  DirectiveList list;
  FileDirectives directives = {nullptr, OnceClass(), nullptr, 0, 0, 0, kNoResync};
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
    chain[depth] = source->identity;
    chainIdentityKnown[depth] = source->identityKnown;
    ++depth;
    TextEntry includer = SearchList.entries[0];
    SearchList.entries[0] = own;
    // A byte-order mark is not text: compilers refuse it anywhere but at the
    // start of a file, and it would hide an include on the first line.
    bool mark = source->kept ? source->cached->byteOrderMark : startsWithByteOrderMark(contents);
    uint64_t skip = mark ? sizeof kByteOrderMark : 0;
    scanFile(path, source, contents.bytes + skip, contents.count - skip);
    SearchList.entries[0] = includer;
    --depth;
  }
  releaseSource(source);
  ::operator delete(own.text);
}

// Expands a file opened at `path`, unless it is the output, is already being
// expanded, or need not be expanded again.
int expandOpened(const char16_t* path, SourceFile* source) {
  if (source->identityKnown && OutputIdentityKnown && source->identity == OutputIdentity) {
    releaseSource(source);
    writeOutputText("!!! OUTPUT FILE !!!\n");
    noteOutputIncluded();
    noteNotRead();
    return 1;
  }
  if (source->identityKnown && isOnChain(source->identity)) {
    releaseSource(source);
    writeOutputText("//!!! INCLUDE CYCLE !!!\n");
    return 1;
  }
  if (config.includeOnce && source->identityKnown && isExpandedOnce(source->identity)) {
    releaseSource(source);
    progressWide("once-skip=<%s>\n", path);
    return 1;
  }
  expandSource(path, source);
  return 1;
}

// Opens the file at `path` and expands it.
int expandPath(const char16_t* path) {
  SourceFile source;
  if (!openSource(path, &source)) return 0;
  return expandOpened(path, &source);
}

// In place of an include's text where files are nested too deep.
void markTooDeep() {
  writeOutputText("!!! INCLUDE TOO DEEP !!!\n");
  noteTooDeep();
  noteNotRead();
}

// Follows the quoted include whose name is `name[0, length)`.
void expandInclude(const char* name, uint64_t length, SearchMemo** memo) {
  ScanRecorder* recorder = suspendForInclude(name, length);
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
    noteNotRead();
  }
  ::operator delete(longName);
  resumeAfterInclude(recorder);
}

// Looks for an angle include's name in the `/I` directories only, as a
// compiler looks for one, with the progress lines of a search. Returns 1
// with the first that opens in `source` and its path in ConvBuffer.
int findAngleInclude(const char* name, uint64_t length, SourceFile* source) {
  char16_t* wideName = ResultBuffer.wide;
  // A name too long for the buffer fits no candidate either.
  if (oemToWideCounted(name, textLength(name, length), wideName, kWorkBufferChars) < 0) return 0;
  printEntry(wideName);
  size_t nameLength = wideLength(wideName);
  for (uint32_t slot = kFirstIncludeDirectorySlot; slot < SearchList.count; ++slot) {
    const char16_t* candidate = candidatePath(slot, wideName, nameLength);
    if (candidate == nullptr) continue;
    printEntry(candidate);
    if (openSource(candidate, source)) return 1;
  }
  return 0;
}

// True when an include's name matches a `--no-expand` pattern.
bool isLeftOut(const char* name, uint64_t length) {
  size_t nameBytes = textLength(name, length);
  for (uint32_t at = 0; at < config.noExpandCount; ++at) {
    if (matchesPattern(config.noExpand[at], name, nameBytes)) {
      noteNotRead();
      return true;
    }
  }
  return false;
}

}  // namespace

void expandMainSource(const char16_t* path, SourceFile* source, const RunConfig& modes) {
  config = modes;
  if (config.includeOnce) beginOnceRun(DefineList);
  replayable = !config.includeOnce && !config.lineDirectives && !config.expandAngle &&
               config.noExpandCount == 0;
  printEntry(path);
  expandSource(path, source);
}

int expandFile(const char16_t* path, SearchMemo** memo) {
  if (!hasLongPathPrefix(path)) return search(path, memo);
  printEntry(path);
  return expandPath(path);
}

namespace {

void scanLines(char* bytes, uint64_t count, FileDirectives* directives) {
  uint16_t window = 0;
  Comment comment = Comment::None;
  bool atLineStart = true;
  uint8_t includeState = 0;
  uint64_t nameStart = 0;
  uint64_t closeOffset = 0;
  uint64_t lineStart = 0;
  // bytes[unwritten, lineStart) is finished text, identical to what the
  // output needs, not yet written: it goes out as one span when something
  // breaks it (a dropped CR, an include line, the end of the file).
  uint64_t unwritten = 0;
  // With line directives: bytes[0, counted) holds linesCounted LFs.
  uint64_t counted = 0;
  uint64_t linesCounted = 0;

  // A line begins at bytes[at]: nothing of an include is seen on it yet.
  auto startLine = [&](uint64_t at) {
    lineStart = at;
    atLineStart = true;
    includeState = 0;
  };
  // The LFs of bytes[from, to), passed without a stop, only started lines:
  // the last of them starts the line that holds bytes[to]. True when there is one.
  auto startLastLine = [&](uint64_t from, uint64_t to) {
    uint64_t at = to;
    while (at > from && bytes[at - 1] != '\n') --at;
    if (at > from) startLine(at);
    return at > from;
  };

  // Writes the line bytes[lineStart, textEnd) as a comment; `end` as below.
  auto writeCommented = [&](uint64_t end, uint64_t textEnd) {
    writeLastingOutput(bytes + unwritten, lineStart - unwritten);
    writeLastingText("//--- ");
    writeLastingOutput(bytes + lineStart, textEnd - lineStart);
    writeLastingText("\n");
    unwritten = end < count ? end + 1 : count;
  };
  // Where the file's own text goes on after the line that ends at `end`.
  auto writeNextLineNumber = [&](uint64_t end) {
    for (uint64_t at = counted; (at = findByte(bytes, at, end, '\n')) < end; ++at) ++linesCounted;
    counted = end;
    writeLineDirective(linesCounted + 2, chainLinePath[depth - 1]);
  };
  // After the text put in for the include line that ends at `end`.
  auto resumeLines = [&](uint64_t end) {
    if (!config.lineDirectives) return;
    if (directives != nullptr) directives->blocksWithInsertions = directives->openBlocks;
    writeNextLineNumber(end);
  };

  // An angle include found in a `/I` directory is written commented and
  // followed, or marked as a quoted one is where the nesting is too deep;
  // one not found is left to the caller, to be copied.
  auto expandAngleLine = [&](uint64_t end, uint64_t textEnd) {
    SourceFile found;
    if (isLeftOut(bytes + nameStart, closeOffset - nameStart) ||
        !findAngleInclude(bytes + nameStart, closeOffset - nameStart, &found)) {
      return false;
    }
    writeCommented(end, textEnd);
    if (depth >= kMaxIncludeDepth) {
      releaseSource(&found);
      markTooDeep();
    } else {
      expandOpened(ConvBuffer.wide, &found);
    }
    return true;
  };

  // With include-once: the number of the tool's guard whose definition goes
  // on a line of its own once the logical line being read ends; 0 when none.
  uint32_t pendingGuard = 0;
  // A `#pragma once` becomes the definition of the tool's guard, its words
  // replaced and the rest of its line kept; a `_Pragma("once")` is cut out
  // and the definition follows its line. Where a splice divides the words,
  // the directive's line is written commented (an operator stays: in the
  // main file the compiler ignores it) and the definition follows. Returns
  // true when the line is written.
  auto writePragmaOnce = [&](const Directive& pragma, uint64_t end, uint64_t textEnd) {
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
      char definition[40];
      snprintf(definition, sizeof definition, "define TUFLAT_ONCE_%u_", number);
      writeOutputText(definition);
    }
    return false;
  };
  // True when the line that ends at textEnd is continued by a splice.
  auto isContinued = [&](uint64_t textEnd) {
    uint64_t at = textEnd;
    while (at > lineStart && (bytes[at - 1] == ' ' || bytes[at - 1] == '\t')) --at;
    return at > lineStart && bytes[at - 1] == '\\';
  };
  auto writePendingGuard = [&](uint64_t end) {
    if (end < count) {
      writeLastingOutput(bytes + unwritten, end + 1 - unwritten);
      unwritten = end + 1;
    }
    char definition[40];
    snprintf(definition, sizeof definition, "#define TUFLAT_ONCE_%u_\n", pendingGuard);
    writeOutputText(definition);
    pendingGuard = 0;
    if (config.lineDirectives && end < count) writeNextLineNumber(end);
  };

  // Ends the line bytes[lineStart, end); `end` is its LF, or `count` for a
  // last line without one, which is written like any other.
  auto endLine = [&](uint64_t end) {
    uint64_t textEnd = end;
    if (textEnd > lineStart && bytes[textEnd - 1] == '\r') --textEnd;
    const Directive* pragma = directives != nullptr ? meetDirectives(directives, bytes, lineStart)
                                                    : nullptr;
    bool pragmaWritten = pragma != nullptr && writePragmaOnce(*pragma, end, textEnd);
    if (includeState == kQuotedComplete && config.noExpandCount > 0 &&
        isLeftOut(bytes + nameStart, closeOffset - nameStart)) {
      // Copied as it stands, and only reported.
      progressBytes("#include: [%s]\n", bytes + nameStart,
                    textLength(bytes + nameStart, closeOffset - nameStart));
      includeState = 0;
    }
    if (includeState == kQuotedComplete) {
      writeCommented(end, textEnd);
      expandInclude(bytes + nameStart, closeOffset - nameStart, nullptr);
      resumeLines(end);
    } else if (includeState == kAngleComplete && expandAngleLine(end, textEnd)) {
      resumeLines(end);
    } else if (pragmaWritten) {
      // Written commented above.
    } else if (end == count) {
      writeLastingOutput(bytes + unwritten, textEnd - unwritten);
      writeLastingText("\n");
      unwritten = count;
    } else if (textEnd < end) {
      // The LF stays and starts the next span.
      writeLastingOutput(bytes + unwritten, textEnd - unwritten);
      unwritten = end;
    }
    if (directives != nullptr && directives->resyncAt <= end) {
      directives->resyncAt = kNoResync;
      if (end < count) {
        writeLastingOutput(bytes + unwritten, end + 1 - unwritten);
        unwritten = end + 1;
        writeNextLineNumber(end);
      }
    }
    if (pendingGuard != 0 && comment != Comment::Block && !isContinued(textEnd)) {
      writePendingGuard(end);
    }
    startLine(end + 1);
  };

  // A `//` or `/*` at bytes[at] opens its comment at once: its two bytes do
  // nothing else, and a comment's first byte pairs with no byte before it.
  auto opensComment = [&](uint64_t at) {
    if (at + 1 >= count || bytes[at] != '/' || (bytes[at + 1] != '/' && bytes[at + 1] != '*')) {
      return false;
    }
    comment = bytes[at + 1] == '/' ? Comment::Line : Comment::Block;
    atLineStart = false;
    window = 0;
    return true;
  };

  for (uint64_t i = 0; i < count; ++i) {
    // Most bytes cannot change the state: inside a comment only an LF or a
    // closing `*/` can, and on a line that can no longer be an include only an
    // LF or an opening `//` or `/*`. Such runs are skipped, a `*` or `/` that
    // opens or closes nothing with them; the byte before the first one not
    // skipped is all the window needs to hold.
    uint8_t previous = static_cast<uint8_t>(window);
    if (previous != '/' && previous != '*') {
      uint64_t next = i;
      if (comment == Comment::Line) {
        next = findByte(bytes, i, count, '\n');
      } else if (comment == Comment::Block && directives == nullptr &&
                 includeState < kQuotedComplete && bytes[i] != '\n') {
        // The LFs of such a comment only start lines, as in the fast path
        // below, unless a CR before one is to be dropped: the search stops at
        // every CR, and an LF that may follow one is met first.
        next = findByteOrPair(bytes, i, count, '\r', '\r', '*', '/', '/');
        startLastLine(i, next);
        if (next < count && bytes[next] == '*') {
          // The `*/` that ends the comment; like any byte of code, its `/`
          // ends the chance of an include on its line.
          comment = Comment::None;
          atLineStart = false;
          window = 0;
          i = next + 1;
          continue;
        }
      } else if (comment == Comment::Block) {
        next = findByteOrPair(bytes, i, count, '\n', '\n', '*', '/', '/');
      } else if (!atLineStart && includeState < kKeywordLength && directives == nullptr &&
                 bytes[i] != '\n') {
        // Lines that hold no include and no CR need no stop at their LF: the
        // run ends where a comment opens, at a CR, or at a `#` that may begin
        // an include, and the line that holds it starts after the run's last
        // LF, as if each LF had been met.
        next = findByteOrPair(bytes, i, count, '#', '\r', '/', '/', '*');
        uint64_t blanks = next;
        while (blanks > i && static_cast<unsigned char>(bytes[blanks - 1]) <= 0x20 &&
               bytes[blanks - 1] != '\n') {
          --blanks;
        }
        if (blanks > i && bytes[blanks - 1] == '\n') {
          startLine(blanks);
        } else if (next == count) {
          // The file's last LF may end its last line, which is no include.
          startLastLine(i, next);
          atLineStart = false;
        }
        if (opensComment(next)) {
          i = next + 1;
          continue;
        }
      } else if (!atLineStart &&
                 (includeState < kKeywordLength || includeState >= kQuotedComplete)) {
        next = findByteOrPair(bytes, i, count, '\n', '\n', '/', '/', '*');
      }
      if (next > i) {
        window = static_cast<uint8_t>(bytes[next - 1]);
        i = next;
        if (i == count) break;
      }
    }
    unsigned char byte = static_cast<unsigned char>(bytes[i]);
    window = static_cast<uint16_t>(window << 8 | byte);
    if (window == 0x2F2F && comment == Comment::None) {
      comment = Comment::Line;
      window = 0;
    } else if (window == 0x2F2A && comment == Comment::None) {
      comment = Comment::Block;
      window = 0;
    } else if (window == 0x2A2F && comment == Comment::Block) {
      comment = Comment::None;
      window = 0;
    } else if (byte == '\n') {
      if (comment == Comment::Line) comment = Comment::None;
      if (directives == nullptr && includeState < kQuotedComplete && bytes[i - (i > 0)] != '\r') {
        // Most lines: no include, no CR to drop. The line stays in the span
        // not yet written.
        startLine(i + 1);
        if (comment != Comment::None) continue;
        // The next line's blanks change nothing but the window. A first byte
        // other than `#`, `/` or an LF ends the chance of an include and
        // opens nothing: the scan goes on past it.
        uint64_t first = i + 1;
        while (first < count && static_cast<unsigned char>(bytes[first]) <= 0x20 &&
               bytes[first] != '\n') {
          ++first;
        }
        if (opensComment(first)) {
          i = first + 1;
          continue;
        }
        if (first == count || bytes[first] == '#' || bytes[first] == '/' || bytes[first] == '\n') {
          if (first > i + 1) window = static_cast<uint8_t>(bytes[first - 1]);
          i = first - 1;
          continue;
        }
        atLineStart = false;
        window = static_cast<uint8_t>(bytes[first]);
        i = first;
        continue;
      }
      endLine(i);
      continue;
    }
    if (byte <= 0x20 || comment != Comment::None) continue;
    if (atLineStart && includeState < kKeywordLength &&
        byte == static_cast<unsigned char>(kKeyword[includeState])) {
      ++includeState;
      continue;
    }
    atLineStart = false;
    if (byte == '"') {
      if (includeState == kInQuotedName) {
        includeState = kQuotedComplete;
        closeOffset = i;
      } else if (includeState == kKeywordLength) {
        nameStart = i + 1;
        includeState = kInQuotedName;
      }
    } else if (byte == '<') {
      if (includeState == kKeywordLength) {
        nameStart = i + 1;
        includeState = kInAngleName;
      }
    } else if (byte == '>' && includeState == kInAngleName) {
      // Printed as C text: the name ends at a NUL byte.
      printAngleInclude(bytes + nameStart, textLength(bytes + nameStart, i - nameStart));
      closeOffset = i;
      includeState = config.expandAngle ? kAngleComplete : 0;
    }
  }
  if (lineStart < count) endLine(count);
  writeLastingOutput(bytes + unwritten, count - unwritten);
}

}  // namespace

void scanText(char* bytes, uint64_t count) {
  scanLines(bytes, count, nullptr);
}
