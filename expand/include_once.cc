#include "include_once.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "output.h"
#include "tables.h"

namespace {

struct OnceRecord {
  FileIdentity identity;
  bool readOnce;
  bool pragmaOnce;
  // A copy stood at depth 0, and its guard has not been undefined since.
  bool safe;
  // bytes[0, guardLength) of the guard's macro, for a guarded file.
  char* guard;
  uint32_t guardLength;
  uint32_t guardNumber;
};

// Found by their files' identities.
RecordTable<OnceRecord> records;
HashIndex byGuard;
uint32_t guardsWritten = 0;
uint32_t conditionalDepth = 0;
// Set when memory ran out for the bookkeeping: from then on nothing is
// skipped, which is always safe.
bool bookkeepingLost = false;

uint64_t hashIdentity(const FileIdentity& identity) {
  return hashBytes(&identity, sizeof identity);
}

uint32_t findRecord(const FileIdentity& identity) {
  return findInIndex(records.index, hashIdentity(identity),
                     [&](uint32_t record) { return records.items[record].identity == identity; });
}

// The record of a file met for the first time, classified by its first copy.
uint32_t addOnceRecord(const FileIdentity& identity, const char* bytes, const OnceClass& kind) {
  uint32_t number = addRecord(&records, hashIdentity(identity));
  if (number == kNoRecord) return kNoRecord;
  OnceRecord& record = records.items[number];
  record = {identity, kind.pragmaOnce || kind.guarded, kind.pragmaOnce, false, nullptr, 0, 0};
  if (kind.guarded && !kind.pragmaOnce) {
    record.guard = new (std::nothrow) char[kind.guardLength];
    if (record.guard == nullptr) return kNoRecord;
    memcpy(record.guard, bytes + kind.guardStart, kind.guardLength);
    record.guardLength = kind.guardLength;
    if (!addToIndex(&byGuard, hashBytes(record.guard, record.guardLength), number)) {
      return kNoRecord;
    }
  }
  return number;
}

// A copy of a guarded file met after an `#undef` of its guard may be read.
void forgetGuard(const char* name, uint32_t length) {
  findInIndex(byGuard, hashBytes(name, length), [&](uint32_t record) {
    OnceRecord& entry = records.items[record];
    if (entry.guardLength == length && memcmp(entry.guard, name, length) == 0) {
      entry.safe = false;
    }
    return false;
  });
}

void writeGuardLine(const char* directive, uint32_t number) {
  char line[48];
  int length = snprintf(line, sizeof line, "%s TUFLAT_ONCE_%u_\n", directive, number);
  writeOutput(line, static_cast<uint64_t>(length));
}

}  // namespace

bool isExpandedOnce(const FileIdentity& identity) {
  if (bookkeepingLost) return false;
  uint32_t record = findRecord(identity);
  return record != kNoRecord && records.items[record].readOnce && records.items[record].safe;
}

void beginOnceScan(const char* bytes, const DirectiveList* directives, const OnceClass& kind,
                   const FileIdentity* identity, bool isMainSource, OnceScan* scan) {
  scan->entryDepth = conditionalDepth;
  scan->guardNumber = 0;
  if (directives == nullptr) bookkeepingLost = true;
  uint32_t record = kNoRecord;
  if (identity != nullptr && !bookkeepingLost) {
    record = findRecord(*identity);
    if (record == kNoRecord) record = addOnceRecord(*identity, bytes, kind);
    if (record == kNoRecord) bookkeepingLost = true;
  }
  if (record != kNoRecord && conditionalDepth == 0) records.items[record].safe = true;
  // The main source is read once anyway. Without an identity, every copy
  // counts as a file of its own.
  if (kind.pragmaOnce && !isMainSource) {
    if (record == kNoRecord) {
      scan->guardNumber = ++guardsWritten;
    } else {
      OnceRecord& entry = records.items[record];
      if (entry.guardNumber == 0) entry.guardNumber = ++guardsWritten;
      scan->guardNumber = entry.guardNumber;
    }
  }
  if (scan->guardNumber != 0) {
    writeGuardLine("#ifndef", scan->guardNumber);
    writeGuardLine("#define", scan->guardNumber);
  }
}

void applyOnceDirective(const OnceScan& scan, const char* bytes, const DirectiveList& directives,
                        uint32_t at, bool ownGuard) {
  const Directive& directive = directives.items[at];
  if (directive.kind == DirectiveKind::Open && !ownGuard) {
    ++conditionalDepth;
  } else if (directive.kind == DirectiveKind::Close && !ownGuard &&
             conditionalDepth > scan.entryDepth) {
    // A stray #endif cannot close what an includer opened.
    --conditionalDepth;
  } else if (directive.kind == DirectiveKind::Undef && directive.nameLength > 0) {
    forgetGuard(bytes + directive.nameStart, directive.nameLength);
  }
}

void endOnceScan(const OnceScan& scan) {
  if (scan.guardNumber != 0) writeOutputText("#endif\n");
  conditionalDepth = scan.entryDepth;
}
