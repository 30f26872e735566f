#include "directory_listing.h"

#include <cstring>
#include <new>

#include "../base/bounds.h"
#include "../platform/full_path.h"
#include "../platform/winapi.h"

DirectoryListings RunDirectoryListings = {kListingLimit};

namespace {

// A longer path may be refused with an error of its own (Linux refuses one
// of 4096 bytes) while its directory still lists.
constexpr size_t kLongestDecidedPath = 4000;
constexpr size_t kLongestName = 255;

// A failed open costs one call; a listing costs a few, and one more for
// every few hundred names. A directory in which one path missed may never be
// tried again, but one in which two missed is a directory that the searches
// pass through, where nearly every later path misses too: on the benchmark's
// workloads this leaves 18 of 17,500 failed opens on `once` and 40 of 3,776
// on `heavy`, for 9 and 20 listings.
constexpr uint8_t kMissesBeforeListing = 2;

constexpr char16_t kDeviceNames[][4] = {u"con", u"prn", u"aux", u"nul"};
constexpr char16_t kNumberedDeviceNames[][4] = {u"com", u"lpt"};

// The printable ASCII characters that no decidable name holds, as bits of two
// words by code: streams, patterns, separators, short names, `$` files.
constexpr uint64_t excludedUnits(unsigned half) {
  uint64_t bits = 0;
  for (const char* unit = "\\/:*?\"<>|~$"; *unit != 0; ++unit) {
    if (static_cast<unsigned>(*unit) / 64 == half) bits |= 1ull << (*unit % 64);
  }
  return bits;
}
constexpr uint64_t kExcludedUnits[2] = {excludedUnits(0), excludedUnits(1)};

char16_t folded(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

// True when text[0, length) is `name` in any case.
bool isFolded(const char16_t* text, size_t length, const char16_t* name) {
  for (size_t at = 0; at < length; ++at) {
    if (name[at] == 0 || folded(text[at]) != name[at]) return false;
  }
  return name[length] == 0;
}

bool isDeviceName(const char16_t* name, size_t length) {
  size_t stem = 0;
  while (stem < length && name[stem] != u'.') ++stem;
  for (const char16_t* device : kDeviceNames) {
    if (isFolded(name, stem, device)) return true;
  }
  if (stem != 4 || name[3] < u'0' || name[3] > u'9') return false;
  for (const char16_t* device : kNumberedDeviceNames) {
    if (isFolded(name, 3, device)) return true;
  }
  return false;
}

// The length of the root of a path that a listing may decide: `\\?\X:` or
// `\\?\UNC\server\share`, the form of resolved paths; 0 for any other.
size_t decidableRootLength(const char16_t* path) {
  if (!hasLongPathPrefix(path) || path[3] != u'\\') return 0;
  const char16_t* rest = path + 4;
  if (((rest[0] >= u'A' && rest[0] <= u'Z') || (rest[0] >= u'a' && rest[0] <= u'z')) &&
      rest[1] == u':' && rest[2] == u'\\') {
    return 6;
  }
  if (!startsWith(rest, u"UNC\\")) return 0;
  size_t at = 8;
  for (int part = 0; part < 2; ++part) {
    size_t start = at;
    while (path[at] != 0 && path[at] != u'\\') ++at;
    if (at == start || (part == 0 && path[at++] == 0)) return 0;
  }
  return at;
}

// True when every segment of text[0, length), the directory after its
// root, is a name: a prefixed path is taken as written, and a listing of a
// directory written with an empty, `.` or `..` segment may not be the
// directory that an open of a path in it looks in.
bool hasPlainSegments(const char16_t* text, size_t length) {
  for (size_t at = 0; at < length;) {
    size_t end = ++at;
    while (end < length && text[end] != u'\\') ++end;
    size_t units = end - at;
    if (units == 0 || (text[at] == u'.' && (units == 1 || (units == 2 && text[at + 1] == u'.')))) {
      return false;
    }
    at = end;
  }
  return true;
}

ListedDirectory* findDirectory(DirectoryListings* listings, const char16_t* path, size_t length) {
  ListedDirectory* entry = findOrAddEntry<ListedDirectory>(&listings->table, path, length,
                                                           &listings->bytes, listings->limit);
  if (entry == nullptr) countBoundPath(BoundPath::ListingRefused);
  return entry;
}

void forgetNames(DirectoryListings* listings, ListedDirectory* directory) {
  clearTable(&directory->names);
  delete[] directory->nameKeys;
  ::operator delete(directory->nameText);
  directory->nameKeys = nullptr;
  directory->nameText = nullptr;
  listings->bytes -= directory->nameBytes;
  directory->nameBytes = 0;
}

// Counts `bytes` more for the directory's names; 0 when they do not fit.
bool countNameBytes(DirectoryListings* listings, ListedDirectory* directory, uint64_t bytes) {
  if (listings->bytes + bytes > listings->limit) {
    countBoundPath(BoundPath::ListingNamesRefused);
    return false;
  }
  listings->bytes += bytes;
  directory->nameBytes += bytes;
  return true;
}

// The names a listing has given so far, folded, each followed by a NUL: the
// directory's nameText[0, used), in a block of `room` units.
struct CollectedNames {
  size_t used;
  size_t room;
  uint32_t count;
};

// Adds a name to the directory's collected names; 0 when the directory is
// to decide nothing: a name that is not ASCII (some case-insensitive file
// systems would let an ASCII name open it), too many names, or no room.
bool collectName(DirectoryListings* listings, ListedDirectory* directory, CollectedNames* names,
                 const char16_t* name) {
  size_t length = wideLength(name);
  if (names->count == kMostListedNames) {
    countBoundPath(BoundPath::ListingTooManyNames);
    return false;
  }
  if (names->used + length + 1 > names->room) {
    size_t room = names->room == 0 ? TUFLAT_BOUND(4096, 16) : names->room * 2;
    while (room < names->used + length + 1) room *= 2;
    if (!countNameBytes(listings, directory, (room - names->room) * sizeof(char16_t))) {
      return false;
    }
    auto* text = static_cast<char16_t*>(::operator new(room * sizeof(char16_t), std::nothrow));
    if (text == nullptr) return false;
    if (names->used > 0) memcpy(text, directory->nameText, names->used * sizeof(char16_t));
    ::operator delete(directory->nameText);
    directory->nameText = text;
    names->room = room;
  }
  for (size_t at = 0; at < length; ++at) {
    if (name[at] >= 0x80) return false;
    directory->nameText[names->used + at] = folded(name[at]);
  }
  directory->nameText[names->used + length] = 0;
  names->used += length + 1;
  ++names->count;
  return true;
}

// Puts the collected names in the directory's table; 0 when they do not fit.
bool tableNames(DirectoryListings* listings, ListedDirectory* directory,
                const CollectedNames& names) {
  if (names.count == 0) return true;
  if (!countNameBytes(listings, directory, names.count * sizeof(TableKey))) return false;
  directory->nameKeys = new (std::nothrow) TableKey[names.count];
  if (directory->nameKeys == nullptr) return false;
  TableKey* next = directory->nameKeys;
  for (size_t at = 0; at < names.used;) {
    const char16_t* name = directory->nameText + at;
    size_t length = wideLength(name);
    at += length + 1;
    uint64_t hash = hashWide(name, length);
    // A case-sensitive directory may hold names that differ only in case.
    if (findKey(&directory->names, name, length, hash) != nullptr) continue;
    uint64_t before = listings->bytes;
    bool room = roomInTable(&directory->names, &listings->bytes, listings->limit);
    directory->nameBytes += listings->bytes - before;
    if (!room) {
      countBoundPath(BoundPath::ListingNamesRefused);
      return false;
    }
    *next = {name, length, hash};
    addKey(&directory->names, next++);
  }
  return true;
}

// Lists the directory into its entry, which leaves it in any state but Unlisted.
void listDirectory(DirectoryListings* listings, ListedDirectory* directory) {
  static char16_t pattern[kLongestDecidedPath + 3];
  memcpy(pattern, directory->key.text, directory->key.length * sizeof(char16_t));
  memcpy(pattern + directory->key.length, u"\\*", 3 * sizeof(char16_t));
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) {
    // Without a directory, or with one that holds no name at all, no path in
    // it names a file; any other failure tells nothing.
    DWORD error = GetLastError();
    directory->state = error == ERROR_PATH_NOT_FOUND   ? ListingState::NoDirectory
                       : error == ERROR_FILE_NOT_FOUND ? ListingState::Listed
                                                       : ListingState::Undecided;
    return;
  }
  CollectedNames names = {0, 0, 0};
  bool complete = false;
  for (;;) {
    // A name may also be opened by its short form, where the system has one.
    const auto* name = reinterpret_cast<const char16_t*>(data.cFileName);
    const auto* shortName = reinterpret_cast<const char16_t*>(data.cAlternateFileName);
    if (!collectName(listings, directory, &names, name) ||
        (shortName[0] != 0 && !collectName(listings, directory, &names, shortName))) {
      break;
    }
    if (!FindNextFileW(find, &data)) {
      complete = GetLastError() == ERROR_NO_MORE_FILES;
      break;
    }
  }
  FindClose(find);
  if (complete && tableNames(listings, directory, names)) {
    directory->state = ListingState::Listed;
  } else {
    forgetNames(listings, directory);
    directory->state = ListingState::Undecided;
  }
}

}  // namespace

bool isDecidableName(const char16_t* name, size_t length) {
  if (length == 0 || length > kLongestName || name[length - 1] == u'.') return false;
  for (size_t at = 0; at < length; ++at) {
    char16_t unit = name[at];
    if (unit < 0x21 || unit > 0x7E || (kExcludedUnits[unit / 64] >> (unit % 64) & 1) != 0) {
      return false;
    }
  }
  return !isDeviceName(name, length);
}

int provesAbsent(DirectoryListings* listings, const char16_t* path, ListedDirectory** directory) {
  *directory = nullptr;
  size_t length = wideLength(path);
  size_t root = decidableRootLength(path);
  if (root == 0 || length > kLongestDecidedPath) return 0;
  size_t nameStart = length;
  while (nameStart > root && path[nameStart - 1] != u'\\') --nameStart;
  if (nameStart <= root || !isDecidableName(path + nameStart, length - nameStart) ||
      !hasPlainSegments(path + root, nameStart - 1 - root)) {
    return 0;
  }
  ListedDirectory* entry = findDirectory(listings, path, nameStart - 1);
  *directory = entry;
  if (entry == nullptr) return 0;
  if (entry->state == ListingState::Unlisted && entry->misses >= kMissesBeforeListing) {
    listDirectory(listings, entry);
  }
  if (entry->state == ListingState::NoDirectory) return 1;
  if (entry->state != ListingState::Listed) return 0;
  char16_t name[kLongestName];
  size_t nameLength = length - nameStart;
  for (size_t at = 0; at < nameLength; ++at) name[at] = folded(path[nameStart + at]);
  return findKey(&entry->names, name, nameLength, hashWide(name, nameLength)) == nullptr;
}

void noteMissIn(ListedDirectory* directory) {
  if (directory != nullptr && directory->misses < kMissesBeforeListing) ++directory->misses;
}

void clearDirectoryListings(DirectoryListings* listings) {
  for (size_t at = 0; at < listings->table.capacity; ++at) {
    auto* directory = reinterpret_cast<ListedDirectory*>(listings->table.slots[at]);
    if (directory == nullptr) continue;
    forgetNames(listings, directory);
    directory->~ListedDirectory();
    ::operator delete(directory);
  }
  clearTable(&listings->table);
  listings->bytes = 0;
}
