// What one run learns by listing the directories of the paths it tries: a
// path whose directory has been listed, and whose last segment is not among
// its names, names no file, and is known so without an open. Like the file
// cache, it takes the inputs not to change while the run lasts, and it takes
// a directory to list every name that can be opened in it, as the file
// systems that hold sources do.
//
// It must never be wrong: a path is said to name no file only when an open
// would surely fail for that reason. So it decides only for plain names (see
// isDecidableName), compares them ASCII case-insensitively on every system (a
// match only means that the path is opened, which is always safe), and a
// directory that fails to list for any other reason than not existing, or
// holds a name that is not ASCII, decides nothing.
#ifndef TUFLAT_SEARCH_DIRECTORY_LISTING_H
#define TUFLAT_SEARCH_DIRECTORY_LISTING_H

#include <cstddef>
#include <cstdint>

#include "../base/bounds.h"
#include "../base/tables.h"

enum class ListingState : uint8_t {
  // Not listed yet; `misses` of its paths named no file when opened.
  Unlisted,
  // `names` holds every name it lists, ASCII letters in lower case.
  Listed,
  // There is no such directory: no path in it names a file.
  NoDirectory,
  // Its listing failed or did not fit: it decides nothing.
  Undecided,
};

struct ListedDirectory {
  // First, so that the table's key is the entry. Its text, the directory's
  // path, follows the entry in its block.
  TableKey key;
  ListingState state;
  uint8_t misses;
  // When Listed: keys into nameText, each name there followed by a NUL.
  WideTable names;
  TableKey* nameKeys;
  char16_t* nameText;
  // What names, nameKeys and nameText take, counted in the listings' bytes.
  uint64_t nameBytes;
};

// Every directory a run has met. The entries, their names and the table stay
// within `limit` bytes: a directory that would break it is not remembered,
// or its listing decides nothing.
struct DirectoryListings {
  uint64_t limit;
  uint64_t bytes = 0;
  WideTable table = {};
};

constexpr uint64_t kListingLimit = TUFLAT_BOUND(8ull << 20, 1024);
// A directory with more names is not kept: its listing decides nothing.
constexpr uint32_t kMostListedNames = TUFLAT_BOUND(65536, 6);

// The run's listings.
extern DirectoryListings RunDirectoryListings;

// True when name[0, length), a path's last segment, is one a listing can
// decide: 1 to 255 characters of ASCII 0x21 to 0x7E without any of
// `\ / : * ? " < > | ~ $`, not ending in `.`, and not a device name (CON,
// PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, in any case) before its first
// `.`. Any other name may be opened by a name that no listing shows: a
// stream, a pattern, a short name, a name whose trailing dots are dropped, a
// device, or a file system's own hidden file.
bool isDecidableName(const char16_t* name, size_t length);

// 1 when the listing of the directory of `path`, a resolved path, proves
// that it names no file. Otherwise 0, and *directory is that directory's
// entry, for noteMissIn, or null. The directory is listed when `path` is the
// first path in it to come after two of its paths missed.
int provesAbsent(DirectoryListings* listings, const char16_t* path, ListedDirectory** directory);

// Notes that an open of a path in `directory`, which may be null, found no file.
void noteMissIn(ListedDirectory* directory);

// Frees every entry and listing; the limit stays.
void clearDirectoryListings(DirectoryListings* listings);

#endif
