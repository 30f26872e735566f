#include "replay.h"

#include <cstring>
#include <new>

#include "../base/bounds.h"
#include "../base/tables.h"
#include "../output/output.h"
#include "../output/progress.h"
#include "../platform/print_line.h"
#include "../search/search.h"

namespace {

enum class EventKind : uint8_t { Bytes, Pieces, Text, Include, Lines };

// Bytes and Include name bytes[offset, offset + length) of the scanned bytes;
// Text (for the output) and Lines (for the account, the lines of the angle
// includes met in a row) name text[offset, offset + length) of the record.
// Pieces are spans of the scanned bytes that only one left-out byte parts,
// as a CR dropped before an LF does: bytes[offset, offset + length) but the
// byte after each piece, the pieces' lengths in the text from `lengths`.
// An Include's memo is the follower's, null until it leaves one.
struct ScanEvent {
  uint32_t offset;
  uint32_t length;
  EventKind kind;
  uint32_t lengths;
  SearchMemo* memo;
};

// The packed record: this header, then `events` ScanEvents, then the text.
struct PackedRecord {
  uint64_t events;
  uint64_t textBytes;
};

// A record smaller than the file it replaces, plus this, is worth keeping.
constexpr uint64_t kRecordAllowance = TUFLAT_BOUND(4096, 16);

}  // namespace

// events[0, eventCount) of eventRoom, text[0, textCount) of textRoom; failed
// when the record outgrew its limit or no memory could be had. Only kept
// files are recorded, so the limit, and with it every count, fits 32 bits.
struct ScanRecorder {
  const char* base;
  uint64_t size;
  uint64_t limit;
  ScanEvent* events;
  uint32_t eventCount;
  uint32_t eventRoom;
  char* text;
  uint32_t textCount;
  uint32_t textRoom;
  bool failed;
};

namespace {

// The scan being recorded, at the level being written now; null when none.
ScanRecorder* ActiveRecorder = nullptr;

uint64_t recordSize(const ScanRecorder& recorder) {
  return sizeof(PackedRecord) + recorder.eventCount * sizeof(ScanEvent) + recorder.textCount;
}

// True when `more` bytes would take the record beyond its limit.
bool outgrows(const ScanRecorder& recorder, uint64_t more) {
  if (recordSize(recorder) + more <= recorder.limit) return false;
  countBoundPath(BoundPath::RecordOutgrown);
  return true;
}

void addEvent(ScanRecorder* recorder, EventKind kind, uint64_t offset, uint64_t length) {
  if (recorder->failed) return;
  if (outgrows(*recorder, sizeof(ScanEvent)) ||
      !reserveItems(&recorder->events, &recorder->eventRoom, recorder->eventCount,
                    recorder->eventCount + 1)) {
    recorder->failed = true;
    return;
  }
  recorder->events[recorder->eventCount++] = {static_cast<uint32_t>(offset),
                                              static_cast<uint32_t>(length), kind, 0, nullptr};
}

// True, with `offset`, when bytes[0, count) lies within the scanned bytes.
bool offsetInScan(const ScanRecorder& recorder, const void* bytes, uint64_t count,
                  uint64_t* offset) {
  auto at = reinterpret_cast<uintptr_t>(bytes);
  auto base = reinterpret_cast<uintptr_t>(recorder.base);
  if (at < base || at - base > recorder.size || count > recorder.size - (at - base)) return false;
  *offset = at - base;
  return true;
}

void noteName(EventKind kind, const char* name, uint64_t length) {
  uint64_t offset = 0;
  if (!offsetInScan(*ActiveRecorder, name, length, &offset)) {
    ActiveRecorder->failed = true;
    return;
  }
  addEvent(ActiveRecorder, kind, offset, length);
}

// Copies text[0, count) into the record's text; 0 when it cannot.
int addText(ScanRecorder* recorder, const void* text, uint64_t count) {
  if (recorder->failed || outgrows(*recorder, count) ||
      !reserveItems(&recorder->text, &recorder->textRoom, recorder->textCount,
                    recorder->textCount + static_cast<uint32_t>(count))) {
    recorder->failed = true;
    return 0;
  }
  if (count > 0) memcpy(recorder->text + recorder->textCount, text, count);
  recorder->textCount += count;
  return 1;
}

// Appends a piece's length to the record's text, 7 bits a byte, low bits
// first, the high bit set on all bytes but the last: a line of code takes one.
int addLength(ScanRecorder* recorder, uint64_t length) {
  unsigned char groups[10];
  int count = 0;
  for (; length >= 0x80; length >>= 7) groups[count++] = static_cast<unsigned char>(length | 0x80);
  groups[count++] = static_cast<unsigned char>(length);
  return addText(recorder, groups, count);
}

uint64_t readLength(const unsigned char** lengths) {
  uint64_t length = 0;
  for (int shift = 0;; shift += 7) {
    unsigned char group = *(*lengths)++;
    length |= static_cast<uint64_t>(group & 0x7F) << shift;
    if (group < 0x80) return length;
  }
}

// Joins the span bytes[offset, offset + count) to the record's last event
// when one byte the scan left out lies between them: a file of short CR LF
// lines then takes a byte or two a line, where an event a line would outgrow
// the record's allowance. The lengths of the last event's pieces end the
// text: whatever adds text adds an event after it. True when joined, or when
// the record failed.
bool joinPieces(ScanRecorder* recorder, uint64_t offset, uint64_t count) {
  if (recorder->eventCount == 0) return false;
  ScanEvent& last = recorder->events[recorder->eventCount - 1];
  if ((last.kind != EventKind::Bytes && last.kind != EventKind::Pieces) ||
      offset != uint64_t{last.offset} + last.length + 1) {
    return false;
  }
  if (last.kind == EventKind::Bytes) {
    last.kind = EventKind::Pieces;
    last.lengths = recorder->textCount;
    if (!addLength(recorder, last.length)) return true;
  }
  if (addLength(recorder, count)) last.length = static_cast<uint32_t>(offset + count - last.offset);
  return true;
}

// The line of an angle include, its name where `%s` stands.
constexpr char kAngleLine[] = "#include: <%s>\n";

void printAngleName(const char* name, uint64_t length) {
  progressBytes(kAngleLine, name, length);
}

// Records the line printAngleName prints, formatted once, so that a replay
// prints it with the lines of the angle includes next to it in one piece.
void noteAngleLine(ScanRecorder* recorder, const char* name, uint64_t length) {
  uint32_t start = recorder->textCount;
  LineFormat parts = splitFormat(kAngleLine);
  if (!addText(recorder, kAngleLine, parts.prefix) || !addText(recorder, name, length) ||
      !addText(recorder, parts.suffix, parts.suffixLength)) {
    return;
  }
  ScanEvent* last =
      recorder->eventCount > 0 ? &recorder->events[recorder->eventCount - 1] : nullptr;
  if (last != nullptr && last->kind == EventKind::Lines && last->offset + last->length == start) {
    last->length += recorder->textCount - start;
  } else {
    addEvent(recorder, EventKind::Lines, start, recorder->textCount - start);
  }
}

// Writes the pieces of bytes[0, count), as the scan wrote them.
void writePieces(const char* bytes, uint64_t count, const unsigned char* lengths) {
  for (uint64_t at = 0; at <= count;) {
    uint64_t length = readLength(&lengths);
    writeLastingOutput(bytes + at, length);
    at += length + 1;
  }
}

void replay(char* record, const char* bytes, FollowInclude follow) {
  PackedRecord header;
  memcpy(&header, record, sizeof header);
  auto* events = reinterpret_cast<ScanEvent*>(record + sizeof header);
  const char* text = record + sizeof header + header.events * sizeof(ScanEvent);
  for (uint64_t at = 0; at < header.events; ++at) {
    ScanEvent& event = events[at];
    switch (event.kind) {
      case EventKind::Bytes:
        writeLastingOutput(bytes + event.offset, event.length);
        break;
      case EventKind::Pieces:
        writePieces(bytes + event.offset, event.length,
                    reinterpret_cast<const unsigned char*>(text) + event.lengths);
        break;
      case EventKind::Text:
        writeLastingOutput(text + event.offset, event.length);
        break;
      case EventKind::Include:
        follow(bytes + event.offset, event.length, &event.memo);
        break;
      case EventKind::Lines:
        progressLines(text + event.offset, event.length);
        break;
    }
  }
}

// The recorder's events and text in one block, or null.
char* pack(const ScanRecorder& recorder, uint64_t* size) {
  *size = recordSize(recorder);
  auto* block = static_cast<char*>(::operator new(*size, std::nothrow));
  if (block == nullptr) return nullptr;
  PackedRecord header = {recorder.eventCount, recorder.textCount};
  memcpy(block, &header, sizeof header);
  if (recorder.eventCount > 0) {
    memcpy(block + sizeof header, recorder.events, recorder.eventCount * sizeof(ScanEvent));
  }
  if (recorder.textCount > 0) {
    memcpy(block + sizeof header + recorder.eventCount * sizeof(ScanEvent), recorder.text,
           recorder.textCount);
  }
  return block;
}

// Notes a write of the active scan; the output's write hook while one records.
void recordWrite(const void* bytes, uint64_t count) {
  ScanRecorder* recorder = ActiveRecorder;
  uint64_t offset = 0;
  if (offsetInScan(*recorder, bytes, count, &offset)) {
    if (recorder->failed || joinPieces(recorder, offset, count)) return;
    addEvent(recorder, EventKind::Bytes, offset, count);
    return;
  }
  // Text from elsewhere is copied: it may not outlive the scan.
  uint32_t start = recorder->textCount;
  if (addText(recorder, bytes, count)) addEvent(recorder, EventKind::Text, start, count);
}

// Makes `recorder` the active one, which sees every write.
void activate(ScanRecorder* recorder) {
  ActiveRecorder = recorder;
  WriteHook = recorder != nullptr ? recordWrite : nullptr;
}

}  // namespace

void printAngleInclude(const char* name, uint64_t length) {
  if (ActiveRecorder != nullptr) noteAngleLine(ActiveRecorder, name, length);
  printAngleName(name, length);
}

ScanRecorder* suspendForInclude(const char* name, uint64_t length) {
  ScanRecorder* recorder = ActiveRecorder;
  if (recorder != nullptr) noteName(EventKind::Include, name, length);
  activate(nullptr);
  return recorder;
}

void resumeAfterInclude(ScanRecorder* recorder) {
  activate(recorder);
}

void scanOrReplay(SourceFile* source, char* bytes, uint64_t count, ScanBytes scan,
                  FollowInclude follow) {
  ScanRecorder* outer = ActiveRecorder;
  activate(nullptr);
  char* kept = keptScanRecord(*source);
  if (kept != nullptr) {
    replay(kept, bytes, follow);
  } else if (!mayKeepScanRecord(*source) || count > UINT32_MAX - kRecordAllowance) {
    // A record's counts fit 32 bits; kept files are far smaller.
    scan(bytes, count);
  } else {
    ScanRecorder recorder = {bytes, count, count + kRecordAllowance, nullptr, 0, 0, nullptr, 0,
                             0,     false};
    activate(&recorder);
    scan(bytes, count);
    activate(nullptr);
    uint64_t size = 0;
    keepScanRecord(*source, recorder.failed ? nullptr : pack(recorder, &size), size);
    ::operator delete(recorder.events);
    ::operator delete(recorder.text);
  }
  activate(outer);
}
