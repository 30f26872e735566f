// The run's cache of paths: lookups, the bounds on what it keeps, and the
// files opened through it.
#include "../search/file_cache.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <string>

#include "../search/source_file.h"
#include "test_files.h"

namespace {

std::u16string pathNumber(int number) {
  std::string narrow =
      "\\\\?\\Z:\\dir" + std::to_string(number % 7) + "\\h" + std::to_string(number) + ".h";
  return std::u16string(narrow.begin(), narrow.end());
}

// A block as the reader hands it over: `count` bytes and one spare.
char* blockOf(uint64_t count, char fill) {
  auto* bytes = static_cast<char*>(::operator new(count + 1));
  memset(bytes, fill, count);
  return bytes;
}

class Cache : public ::testing::Test {
 protected:
  ~Cache() override { clearFileCache(&cache); }

  // An entry that was opened once and is now offered `count` bytes.
  CachedPath* opened(int number) {
    CachedPath* entry = findPath(&cache, pathNumber(number).c_str());
    EXPECT_NE(entry, nullptr);
    entry->state = PathState::Opened;
    return entry;
  }

  FileCache cache = {1000, 1 << 20, 400};
};

TEST_F(Cache, EveryPathFindsItsOwnEntryAcrossGrowth) {
  const int kPaths = 5000;
  CachedPath* first[kPaths];
  for (int number = 0; number < kPaths; ++number) {
    first[number] = findPath(&cache, pathNumber(number).c_str());
    ASSERT_NE(first[number], nullptr);
    EXPECT_EQ(first[number]->state, PathState::Unknown);
    first[number]->state = PathState::Missing;
  }
  for (int number = 0; number < kPaths; ++number) {
    EXPECT_EQ(findPath(&cache, pathNumber(number).c_str()), first[number]) << number;
  }
  // A prefix or an extension of a known path is another path.
  std::u16string known = pathNumber(3);
  EXPECT_EQ(findPath(&cache, known.substr(0, known.size() - 1).c_str())->state, PathState::Unknown);
  EXPECT_EQ(findPath(&cache, (known + u"x").c_str())->state, PathState::Unknown);
  EXPECT_EQ(findPath(&cache, u"")->state, PathState::Unknown);
  EXPECT_EQ(cache.table.used, static_cast<size_t>(kPaths + 3));
  EXPECT_LE(cache.table.used * 2, cache.table.capacity);
}

TEST_F(Cache, NewPathsStopAtTheEntryBoundWhileKnownOnesAreStillFound) {
  cache.entryLimit = 20000;
  int remembered = 0;
  while (findPath(&cache, pathNumber(remembered).c_str()) != nullptr) ++remembered;
  EXPECT_GT(remembered, 10);
  EXPECT_LE(cache.entryBytes, cache.entryLimit);
  for (int number = 0; number < remembered; ++number) {
    EXPECT_NE(findPath(&cache, pathNumber(number).c_str()), nullptr) << number;
  }
  EXPECT_EQ(findPath(&cache, pathNumber(remembered + 1).c_str()), nullptr);
}

TEST_F(Cache, KeptBytesStayWithinTheBoundAndTheOldestUnusedGoFirst) {
  CachedPath* a = opened(1);
  CachedPath* b = opened(2);
  CachedPath* c = opened(3);
  CachedPath* d = opened(4);
  char* aBytes = blockOf(299, 'a');
  ASSERT_TRUE(keepBytes(&cache, a, aBytes, 299));
  ASSERT_TRUE(keepBytes(&cache, b, blockOf(299, 'b'), 299));
  ASSERT_TRUE(keepBytes(&cache, c, blockOf(299, 'c'), 299));
  EXPECT_EQ(cache.keptBytes, 900u);
  EXPECT_EQ(a->bytes, aBytes);
  EXPECT_EQ(a->count, 299u);
  releaseKept(a);
  releaseKept(b);
  releaseKept(c);
  // a is used again, so b is now the least recently used.
  useKept(a);
  releaseKept(a);
  ASSERT_TRUE(keepBytes(&cache, d, blockOf(299, 'd'), 299));
  EXPECT_EQ(b->state, PathState::Opened);
  EXPECT_EQ(b->bytes, nullptr);
  EXPECT_EQ(a->state, PathState::Kept);
  EXPECT_EQ(c->state, PathState::Kept);
  EXPECT_EQ(cache.keptBytes, 900u);
  EXPECT_EQ(a->bytes[298], 'a');
}

TEST_F(Cache, WhenEveryKeptPathWasUsedAgainTheOldestStillGoesFirst) {
  CachedPath* paths[4];
  for (int at = 0; at < 4; ++at) paths[at] = opened(at + 1);
  for (int at = 0; at < 3; ++at) {
    ASSERT_TRUE(keepBytes(&cache, paths[at], blockOf(299, 'a'), 299));
    releaseKept(paths[at]);
    useKept(paths[at]);
    releaseKept(paths[at]);
  }
  ASSERT_TRUE(keepBytes(&cache, paths[3], blockOf(299, 'd'), 299));
  EXPECT_EQ(paths[0]->state, PathState::Opened);
  EXPECT_EQ(paths[1]->state, PathState::Kept);
  EXPECT_EQ(paths[2]->state, PathState::Kept);
  EXPECT_EQ(cache.keptBytes, 900u);
  // b, passed over once, is the next to go.
  ASSERT_TRUE(keepBytes(&cache, paths[0], blockOf(299, 'a'), 299));
  EXPECT_EQ(paths[1]->state, PathState::Opened);
  EXPECT_EQ(paths[2]->state, PathState::Kept);
}

TEST_F(Cache, BytesInUseAreNeverEvicted) {
  cache.keptLimit = 900;
  cache.largestKept = 900;
  CachedPath* a = opened(1);
  CachedPath* b = opened(2);
  CachedPath* c = opened(3);
  ASSERT_TRUE(keepBytes(&cache, a, blockOf(399, 'a'), 399));
  ASSERT_TRUE(keepBytes(&cache, b, blockOf(399, 'b'), 399));
  releaseKept(b);
  // 600 bytes would need a, which is in use; evicting b alone would not be
  // enough, so nothing is evicted at all.
  char* cBytes = blockOf(599, 'c');
  EXPECT_FALSE(keepBytes(&cache, c, cBytes, 599));
  EXPECT_EQ(b->state, PathState::Kept);
  EXPECT_EQ(c->state, PathState::Opened);
  // 300 bytes fit once b goes.
  EXPECT_TRUE(keepBytes(&cache, c, cBytes, 299));
  EXPECT_EQ(b->state, PathState::Opened);
  EXPECT_EQ(a->state, PathState::Kept);
  EXPECT_EQ(cache.keptBytes, 700u);
}

TEST_F(Cache, AFileLargerThanTheLargestKeptIsNotKept) {
  CachedPath* a = opened(1);
  char* bytes = blockOf(401, 'a');
  EXPECT_FALSE(keepBytes(&cache, a, bytes, 401));
  EXPECT_EQ(a->state, PathState::Opened);
  EXPECT_EQ(cache.keptBytes, 0u);
  ::operator delete(bytes);
  EXPECT_TRUE(keepBytes(&cache, a, blockOf(400, 'a'), 400));
  // Kept once is enough: a second block for the same path is refused.
  char* again = blockOf(10, 'x');
  EXPECT_FALSE(keepBytes(&cache, a, again, 10));
  ::operator delete(again);
}

}  // namespace

// A file read whole once is known by its identity: a later open of its path
// waits until its bytes are wanted, and one that is gone by then is not whole.
TEST(SourceFiles, AFileReadBeforeIsOpenedOnlyWhenItsBytesAreWanted) {
  ScratchDirectory dir;
  std::string file = dir.write("h.h", "text\n");
  std::string shown = dir.shown() + "\\h.h";
  std::u16string path(shown.begin(), shown.end());
  SourceFile first;
  ASSERT_EQ(openSource(path.c_str(), &first), 1);
  EXPECT_NE(first.file.handle, nullptr);
  readSource(&first, path.c_str());
  EXPECT_TRUE(first.contents.whole);
  FileIdentity identity = first.identity;
  releaseSource(&first);

  ASSERT_EQ(unlink(file.c_str()), 0);
  SourceFile second;
  ASSERT_EQ(openSource(path.c_str(), &second), 1);
  EXPECT_EQ(second.file.handle, nullptr);
  EXPECT_TRUE(second.identityKnown);
  EXPECT_TRUE(second.identity == identity);
  readSource(&second, path.c_str());
  EXPECT_EQ(second.contents.bytes, nullptr);
  EXPECT_FALSE(second.contents.whole);
  releaseSource(&second);
  clearFileCache(&RunFileCache);
}
