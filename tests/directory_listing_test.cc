// Directory listings: the Linux layer's listing calls, the names a listing
// may decide, and what the run's listings prove absent.
#include "../search/directory_listing.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "../platform/winapi.h"
#include "test_files.h"

namespace {

std::u16string widen(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

std::string narrow(const char16_t* text) {
  std::string result;
  for (; *text != 0; ++text) result += static_cast<char>(*text);
  return result;
}

// Every name a listing of `pattern` gives, or the error that ended it early.
struct Names {
  std::set<std::string> names;
  DWORD error;
};

Names list(const std::string& pattern) {
  Names result = {{}, NO_ERROR};
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(widen(pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    result.error = GetLastError();
    return result;
  }
  do {
    result.names.insert(narrow(data.cFileName));
    EXPECT_EQ(data.cAlternateFileName[0], 0);
  } while (FindNextFileW(find, &data));
  result.error = GetLastError();
  EXPECT_TRUE(FindClose(find));
  return result;
}

TEST(LinuxListing, ListsEveryNameOfTheDirectoryByteForUnit) {
  ScratchDirectory dir;
  dir.write("a.h", "");
  dir.write("B.h", "");
  dir.write("caf\xC3\xA9.h", "");
  dir.write("sub/c.h", "");
  std::set<std::string> expected = {".", "..", "a.h", "B.h", "caf\xC3\xA9.h", "sub"};
  Names prefixed = list(dir.shown() + "\\*");
  EXPECT_EQ(prefixed.error, ERROR_NO_MORE_FILES);
  EXPECT_EQ(prefixed.names, expected);
  // An unprefixed pattern is resolved first, as a path to open is.
  Names bare = list(dir.shown().substr(4) + "\\sub\\..\\*");
  EXPECT_EQ(bare.error, ERROR_NO_MORE_FILES);
  EXPECT_EQ(bare.names, expected);
  // The root lists the first directory of the scratch directory's path.
  std::string first = dir.path().substr(1, dir.path().find('/', 1) - 1);
  EXPECT_EQ(list("\\\\?\\Z:\\*").names.count(first), 1u);
}

TEST(LinuxListing, AMissingDirectoryOrAFileInItsPlaceIsAPathNotFound) {
  ScratchDirectory dir;
  dir.write("file.h", "x\n");
  Names missing = list(dir.shown() + "\\none\\*");
  EXPECT_EQ(missing.error, ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(missing.names.empty());
  EXPECT_EQ(list(dir.shown() + "\\none\\deeper\\*").error, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(list(dir.shown() + "\\file.h\\*").error, ERROR_PATH_NOT_FOUND);
  // Only `<directory>\*` is a pattern the layer knows.
  EXPECT_EQ(list(dir.shown() + "\\*.h").error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(list(dir.shown()).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(list("\\\\?\\C:\\*").error, ERROR_PATH_NOT_FOUND);
}

TEST(DecidableName, OnlyPlainNamesThatNoOtherNameCanOpen) {
  auto decidable = [](const std::string& name) {
    std::u16string wide = widen(name);
    return isDecidableName(wide.c_str(), wide.size());
  };
  for (const char* name :
       {"a.h", "x", ".hidden", "a.b.c", "cond.h", "console.h", "com.h", "com10.h", "lpt.h",
        "nul_x.h", "auxiliary", "A-Z_09+=,;!#%&'()@[]^`{}"}) {
    EXPECT_TRUE(decidable(name)) << name;
  }
  // Devices in any case, whatever follows their first dot.
  for (const char* name :
       {"con", "CON.h", "Prn.x.y", "aux.", "nUl.h", "com0", "COM9.h", "lpt1", "LPT5.txt"}) {
    EXPECT_FALSE(decidable(name)) << name;
  }
  // Short names, streams, patterns, separators, dropped trailing dots, file
  // system files and device names with `$`, characters outside printable ASCII.
  for (const char* name :
       {"LONGNA~1.H", "a.h:stream", "a*.h", "a?.h", "a\"b", "a<b", "a>b", "a|b", "sub/a.h",
        "sub\\a.h", "a.h.", "..", "$MFT", "CONIN$", "a b.h", "a\tb", "caf\xC3\xA9.h", "\x7F", ""}) {
    EXPECT_FALSE(decidable(name)) << name;
  }
  EXPECT_TRUE(decidable(std::string(255, 'n')));
  EXPECT_FALSE(decidable(std::string(256, 'n')));
  std::u16string wide = u"\u212A.h";  // the Kelvin sign, which some systems fold to k
  EXPECT_FALSE(isDecidableName(wide.c_str(), wide.size()));
}

class Listings : public ::testing::Test {
 protected:
  ~Listings() override { clearDirectoryListings(&listings); }

  // Whether the listings prove `relative` absent; when they do not and it
  // names no file, the miss is noted, as an open that fails notes it.
  bool absent(const std::string& relative) {
    std::string path = dir.shown() + "\\" + relative;
    for (char& c : path) c = c == '/' ? '\\' : c;
    directory = nullptr;
    bool proved = provesAbsent(&listings, widen(path).c_str(), &directory) != 0;
    if (!proved && !dir.exists(relative)) noteMissIn(directory);
    return proved;
  }

  ScratchDirectory dir;
  DirectoryListings listings = {kListingLimit};
  ListedDirectory* directory = nullptr;
};

TEST_F(Listings, ADirectoryIsListedAfterTwoMissesAndThenDecidesWithoutCase) {
  dir.write("inc/Upper.h", "");
  dir.write("inc/lower.h", "");
  EXPECT_FALSE(absent("inc/m1.h"));
  EXPECT_FALSE(absent("inc/lower.h"));
  EXPECT_FALSE(absent("inc/m2.h"));
  ASSERT_NE(directory, nullptr);
  EXPECT_EQ(directory->state, ListingState::Unlisted);
  EXPECT_TRUE(absent("inc/m3.h"));
  EXPECT_EQ(directory->state, ListingState::Listed);
  EXPECT_TRUE(absent("inc/m1.h"));
  // A name that matches but for case may open on a case-insensitive system.
  for (const char* name : {"inc/Upper.h", "inc/upper.h", "inc/UPPER.H", "inc/LOWER.h"}) {
    EXPECT_FALSE(absent(name)) << name;
  }
  // Names that other names may open are never decided.
  for (const char* name :
       {"inc/m4.h.", "inc/con.h", "inc/UPPER~1.H", "inc/a.h:s", "inc/caf\xC3\xA9"}) {
    EXPECT_FALSE(absent(name)) << name;
  }
  // Another spelling of the directory is another directory, listed on its own.
  EXPECT_FALSE(absent("INC/m1.h"));
  EXPECT_LE(listings.bytes, listings.limit);
}

TEST_F(Listings, OnlyResolvedPathsWithPlainDirectoriesAreDecided) {
  for (int i = 0; i < 3; ++i) absent("inc/m" + std::to_string(i) + ".h");
  ASSERT_TRUE(absent("inc/m1.h"));
  std::string written = dir.shown() + "\\inc\\m1.h";
  for (const std::string& path :
       {written.substr(4), "\\\\.\\" + written.substr(4), dir.shown() + "\\inc\\.\\m1.h",
        dir.shown() + "\\x\\..\\inc\\m1.h", dir.shown() + "\\inc\\\\m1.h"}) {
    ListedDirectory* entry = directory;
    EXPECT_EQ(provesAbsent(&listings, widen(path).c_str(), &entry), 0) << path;
    EXPECT_EQ(entry, nullptr) << path;
  }
  // The root of a drive and a network share are directories too.
  for (const char* path : {"\\\\?\\Q:\\a.h", "\\\\?\\UNC\\server\\share\\a.h"}) {
    ListedDirectory* entry = nullptr;
    EXPECT_EQ(provesAbsent(&listings, widen(path).c_str(), &entry), 0) << path;
    EXPECT_NE(entry, nullptr) << path;
  }
  ListedDirectory* entry = nullptr;
  EXPECT_EQ(provesAbsent(&listings, u"\\\\?\\UNC\\server\\a.h", &entry), 0);
  EXPECT_EQ(entry, nullptr);
}

TEST_F(Listings, AMissingDirectoryOrAFileInItsPlaceMakesEveryNameAbsent) {
  dir.write("file", "not a directory\n");
  dir.write("there/sub/x.h", "");
  for (std::string directoryName : {"none", "file", "there/nosub", "none/deeper"}) {
    EXPECT_FALSE(absent(directoryName + "/a.h"));
    EXPECT_FALSE(absent(directoryName + "/b.h"));
    EXPECT_TRUE(absent(directoryName + "/c.h")) << directoryName;
    EXPECT_EQ(directory->state, ListingState::NoDirectory) << directoryName;
    EXPECT_FALSE(absent(directoryName + "/con.h"));
  }
  EXPECT_FALSE(absent("there/sub/a.h"));
  EXPECT_FALSE(absent("there/sub/b.h"));
  EXPECT_FALSE(absent("there/sub/x.h"));
  EXPECT_TRUE(absent("there/sub/c.h"));
}

TEST_F(Listings, ANonAsciiNameOrAListingBeyondTheBoundDecidesNothing) {
  dir.write("wide/caf\xC3\xA9.h", "");
  dir.write("many/a.h", "");
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(absent("wide/m" + std::to_string(i) + ".h"));
  EXPECT_EQ(directory->state, ListingState::Undecided);
  EXPECT_EQ(directory->nameBytes, 0u);
  // Room for more entries, not for a block of names.
  listings.limit = listings.bytes + (4 << 10);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(absent("many/m" + std::to_string(i) + ".h"));
  EXPECT_EQ(directory->state, ListingState::Undecided);
  EXPECT_EQ(directory->nameBytes, 0u);
  EXPECT_LE(listings.bytes, listings.limit);
  // New directories stop at the bound; known ones are still found.
  int remembered = 0;
  for (; remembered < 1000; ++remembered) {
    absent("d" + std::to_string(remembered) + "/a.h");
    if (directory == nullptr) break;
  }
  EXPECT_GT(remembered, 2);
  EXPECT_LT(remembered, 1000);
  EXPECT_LE(listings.bytes, listings.limit);
  absent("many/m0.h");
  EXPECT_NE(directory, nullptr);
}

}  // namespace
