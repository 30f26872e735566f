#include "include_once.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "../base/tables.h"
#include "../output/output.h"
#include "../platform/full_path.h"

namespace {

struct OnceRecord {
  FileIdentity identity;
  // The compiler reads nothing of a later copy (see isExpandedOnce).
  bool safe;
  // The tool's guard macro has been defined by a copy, in any branch.
  bool wrapperDefined;
  // bytes[0, guardLength) of the guard's macro, for a file that is one guard
  // block; guardLength is 0 otherwise.
  char* guard;
  uint32_t guardLength;
  uint32_t guardNumber;
};

// A macro name met in a `#define`.
struct DefinedName {
  char* text;
  uint32_t length;
};

// Found by their files' identities.
RecordTable<OnceRecord> records;
HashIndex byGuard;
RecordTable<DefinedName> definedNames;
uint32_t guardsWritten = 0;
uint32_t conditionalDepth = 0;
// A `#define` whose name could not be read, or a header the compiler reads
// and the tool does not, may have defined any macro; a system header behind
// an angle include, any name reserved to the implementation.
bool anyNameMayBeDefined = false;
bool reservedNamesMayBeDefined = false;
// Set when memory ran out for the bookkeeping: from then on nothing is
// skipped and no guard is taken as entered, which is always safe.
bool bookkeepingLost = false;

uint64_t hashIdentity(const FileIdentity& identity) {
  return hashBytes(&identity, sizeof identity);
}

uint32_t findRecord(const FileIdentity& identity) {
  return findInIndex(records.index, hashIdentity(identity),
                     [&](uint32_t record) { return records.items[record].identity == identity; });
}

bool isReservedName(const char* name, uint32_t length) {
  return length >= 2 && name[0] == '_' && (name[1] == '_' || (name[1] >= 'A' && name[1] <= 'Z'));
}

uint32_t findDefinedName(const char* name, uint32_t length) {
  return findInIndex(definedNames.index, hashBytes(name, length), [&](uint32_t record) {
    const DefinedName& entry = definedNames.items[record];
    return entry.length == length && memcmp(entry.text, name, length) == 0;
  });
}

void noteDefinedName(const char* name, uint32_t length) {
  if (length == 0) {
    anyNameMayBeDefined = true;
    return;
  }
  if (findDefinedName(name, length) != kNoRecord) return;
  auto* text = new (std::nothrow) char[length];
  uint32_t number = text != nullptr ? addRecord(&definedNames, hashBytes(name, length)) : kNoRecord;
  if (number == kNoRecord) {
    delete[] text;
    bookkeepingLost = true;
    return;
  }
  memcpy(text, name, length);
  definedNames.items[number] = {text, length};
}

// False when the compiler may find the macro defined.
bool isSurelyUndefined(const char* name, uint32_t length) {
  return !bookkeepingLost && !anyNameMayBeDefined &&
         !(reservedNamesMayBeDefined && isReservedName(name, length)) &&
         findDefinedName(name, length) == kNoRecord;
}

// The record of a file met for the first time, classified by its first copy.
uint32_t addOnceRecord(const FileIdentity& identity, const char* bytes, const OnceClass& kind) {
  uint32_t number = addRecord(&records, hashIdentity(identity));
  if (number == kNoRecord) return kNoRecord;
  OnceRecord& record = records.items[number];
  record = {identity, false, false, nullptr, 0, 0};
  if (kind.guarded) {
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

// A copy of a guarded file met after an `#undef` of its guard may be read;
// with no name, after one whose name could not be read, every such copy.
void forgetGuard(const char* name, uint32_t length) {
  if (length == 0) {
    for (uint32_t record = 0; record < records.count; ++record) {
      if (records.items[record].guardLength > 0) records.items[record].safe = false;
    }
    return;
  }
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

// The number of the tool's guard around a copy of a `#pragma once` file.
uint32_t wrapperNumber(uint32_t record) {
  if (record == kNoRecord) return ++guardsWritten;
  OnceRecord& entry = records.items[record];
  if (entry.guardNumber == 0) entry.guardNumber = ++guardsWritten;
  return entry.guardNumber;
}

// Notes the macro of a `/D` definition, `#define NAME...` in wide text.
void noteDefineText(const char16_t* text) {
  constexpr size_t kPrefix = sizeof "#define " - 1;
  char name[256];
  uint32_t length = 0;
  const char16_t* at = text + kPrefix;
  for (; length < sizeof name && *at < 0x80 && *at != 0; ++at) {
    auto byte = static_cast<char>(*at);
    bool letter = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_' ||
                  byte == '$' || (length > 0 && byte >= '0' && byte <= '9');
    if (!letter) break;
    name[length++] = byte;
  }
  // A name cut short, or one that runs on beyond ASCII, cannot be compared.
  bool readable = length < sizeof name && *at < 0x80;
  noteDefinedName(name, readable ? length : 0);
}

}  // namespace

void beginOnceRun(const TextTable& defines) {
  static const char16_t kDefine[] = u"#define ";
  for (uint32_t entry = 0; entry < defines.count; ++entry) {
    // The block's `#undef` lines name macros that nothing defined before them.
    if (startsWith(defines.entries[entry].text, kDefine)) {
      noteDefineText(defines.entries[entry].text);
    }
  }
}

bool isExpandedOnce(const FileIdentity& identity) {
  if (bookkeepingLost) return false;
  uint32_t record = findRecord(identity);
  return record != kNoRecord && records.items[record].safe;
}

void noteUnreadHeader() {
  anyNameMayBeDefined = true;
}

void noteMissingHeader() {
  if (conditionalDepth == 0) anyNameMayBeDefined = true;
}

void beginOnceScan(const char* bytes, const DirectiveList* directives, const OnceClass& kind,
                   const FileIdentity* identity, bool isMainSource, OnceScan* scan) {
  *scan = {conditionalDepth, 0, kNoRecord, false, false};
  if (directives == nullptr) bookkeepingLost = true;
  if (identity != nullptr && !bookkeepingLost) {
    scan->record = findRecord(*identity);
    if (scan->record == kNoRecord) scan->record = addOnceRecord(*identity, bytes, kind);
    if (scan->record == kNoRecord) bookkeepingLost = true;
  }
  // Whether or not the compiler enters the guard, its macro is defined after
  // a copy that stood at depth 0.
  if (scan->record != kNoRecord && kind.guarded && conditionalDepth == 0) {
    records.items[scan->record].safe = true;
  }
  scan->ownGuardCounted =
      kind.guarded && !isSurelyUndefined(bytes + kind.guardStart, kind.guardLength);
  // The main source is read once anyway, and its own `#pragma once` keeps a
  // flattened header protected where it is included. Without an identity,
  // every copy counts as a file of its own.
  if (!kind.pragmaOnce || isMainSource) return;
  scan->guardNumber = wrapperNumber(scan->record);
  scan->wrapperCounted = bookkeepingLost || anyNameMayBeDefined ||
                         (scan->record != kNoRecord && records.items[scan->record].wrapperDefined);
  if (scan->wrapperCounted) ++conditionalDepth;
  writeGuardLine("#ifndef", scan->guardNumber);
}

void applyOnceDirective(const OnceScan& scan, const char* bytes, const DirectiveList& directives,
                        uint32_t at, bool ownGuard) {
  const Directive& directive = directives.items[at];
  const char* name = bytes + directive.nameStart;
  bool counted = !ownGuard || scan.ownGuardCounted;
  switch (directive.kind) {
    case DirectiveKind::Open:
      if (counted) ++conditionalDepth;
      break;
    case DirectiveKind::Close:
      // A stray #endif cannot close what an includer opened.
      if (counted && conditionalDepth > scan.entryDepth + (scan.wrapperCounted ? 1 : 0)) {
        --conditionalDepth;
      }
      break;
    case DirectiveKind::Define:
      noteDefinedName(name, directive.nameLength);
      break;
    case DirectiveKind::Undef:
    case DirectiveKind::PopMacro:
      forgetGuard(name, directive.nameLength);
      break;
    case DirectiveKind::PragmaOnce:
      // Written as the definition of the tool's guard, which is then surely
      // defined when nothing but that guard encloses it.
      if (scan.guardNumber != 0 && scan.record != kNoRecord) {
        OnceRecord& record = records.items[scan.record];
        record.wrapperDefined = true;
        if (conditionalDepth == (scan.wrapperCounted ? 1 : 0)) record.safe = true;
      }
      break;
    case DirectiveKind::AngleInclude:
      reservedNamesMayBeDefined = true;
      break;
    case DirectiveKind::ComputedInclude:
      anyNameMayBeDefined = true;
      break;
    default:
      break;
  }
}

void endOnceScan(const OnceScan& scan) {
  if (scan.guardNumber != 0) writeOutputText("#endif\n");
  conditionalDepth = scan.entryDepth;
}
