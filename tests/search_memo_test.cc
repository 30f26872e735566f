// What the run remembers of its searches, and what a repeated search prints.
#include "../expand/search_memo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

class Memo : public ::testing::Test {
 protected:
  ~Memo() override {
    clearSearchMemos(&memos);
    clearFileCache(&files);
  }

  // A candidate path that the file cache knows to be missing.
  const char16_t* missing(const char16_t* path) {
    findPath(&files, path)->state = PathState::Missing;
    return path;
  }

  // What beginSearch prints, and the first slot it returns in *first.
  std::string begin(const char16_t* includer, const char16_t* name, uint32_t* first,
                    SearchMemo** recording) {
    testing::internal::CaptureStdout();
    *first = beginSearch(&memos, includer, name, recording);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  // The first search of a name, which only notes it, then the second, which
  // records: neither prints anything or skips a slot.
  SearchMemo* record(const char16_t* includer, const char16_t* name) {
    SearchMemo* recording = nullptr;
    uint32_t first = 9;
    EXPECT_EQ(begin(includer, name, &first, &recording), "");
    EXPECT_EQ(recording, nullptr);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(begin(includer, name, &first, &recording), "");
    EXPECT_EQ(first, 0u);
    return recording;
  }

  SearchMemos memos = {1 << 20};
  FileCache files = {1 << 20, 1 << 20, 1 << 20};
};

TEST_F(Memo, ARepeatedSearchPrintsTheLinesOfItsKnownMissesAndSkipsThem) {
  const char16_t* from = u"\\\\?\\Z:\\src\\a.c\\..";
  SearchMemo* recording = record(from, u"b.h");
  ASSERT_NE(recording, nullptr);
  noteMiss(&memos, &recording, 0, missing(u"\\\\?\\Z:\\src\\b.h"), from, &files);
  noteMiss(&memos, &recording, 1, missing(u"\\\\?\\Z:\\b.h"), from, &files);
  // This one opened before: it may open again, so the memo ends before it.
  findPath(&files, u"\\\\?\\Z:\\inc\\b.h")->state = PathState::Opened;
  noteMiss(&memos, &recording, 2, u"\\\\?\\Z:\\inc\\b.h", from, &files);
  EXPECT_EQ(recording, nullptr);
  noteMiss(&memos, &recording, 3, missing(u"\\\\?\\Z:\\more\\b.h"), from, &files);

  std::string lines =
      "!<\\\\?\\Z:\\src\\b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n"
      "!<\\\\?\\Z:\\b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n";
  for (int again = 0; again < 2; ++again) {
    uint32_t first = 0;
    EXPECT_EQ(begin(from, u"b.h", &first, &recording), lines);
    EXPECT_EQ(first, 2u);
    EXPECT_EQ(recording, nullptr);
  }
}

TEST_F(Memo, TheIncluderAndTheNameBothMakeTheKey) {
  SearchMemo* recording = record(u"\\\\?\\Z:\\a", u"x.h");
  noteMiss(&memos, &recording, 0, missing(u"\\\\?\\Z:\\a\\x.h"), u"\\\\?\\Z:\\a", &files);
  // The same characters split differently between includer and name, and
  // another name, are other searches, met for the first time.
  uint32_t first = 9;
  EXPECT_EQ(begin(u"\\\\?\\Z:\\a\\", u"x.h", &first, &recording), "");
  EXPECT_EQ(recording, nullptr);
  EXPECT_EQ(begin(u"\\\\?\\Z:\\a", u"y.h", &first, &recording), "");
  EXPECT_EQ(recording, nullptr);
  EXPECT_EQ(first, 0u);
  EXPECT_NE(begin(u"\\\\?\\Z:\\a", u"x.h", &first, &recording), "");
  EXPECT_EQ(first, 1u);
}

TEST_F(Memo, OnlyMissesInSlotOrderCount) {
  SearchMemo* recording = record(u"\\\\?\\Z:\\a", u"x.h");
  // Slot 0 gave no candidate at all (too long), so slot 1 cannot be skipped.
  noteMiss(&memos, &recording, 1, missing(u"\\\\?\\Z:\\b\\x.h"), u"\\\\?\\Z:\\a", &files);
  EXPECT_EQ(recording, nullptr);
  uint32_t first = 9;
  EXPECT_EQ(begin(u"\\\\?\\Z:\\a", u"x.h", &first, &recording), "");
  EXPECT_EQ(first, 0u);
}

TEST_F(Memo, SearchesBeyondTheLimitAreNotRemembered) {
  // The table alone takes 16 KiB; a few memos fit in the rest.
  memos.limit = 20480;
  int remembered = 0;
  for (int number = 0; number < 100; ++number) {
    std::u16string name = u"h" + std::u16string(1, static_cast<char16_t>(u'A' + number)) + u".h";
    SearchMemo* recording = record(u"\\\\?\\Z:\\a", name.c_str());
    if (recording == nullptr) continue;
    ++remembered;
    std::u16string candidate = u"\\\\?\\Z:\\a\\" + name;
    noteMiss(&memos, &recording, 0, missing(candidate.c_str()), u"\\\\?\\Z:\\a", &files);
  }
  EXPECT_GT(remembered, 0);
  EXPECT_LT(remembered, 100);
  EXPECT_LE(memos.bytes, memos.limit);
}

}  // namespace
