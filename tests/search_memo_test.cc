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

  // What beginSearch prints; the start it returns in *start.
  std::string begin(const char16_t* includer, const char16_t* name, SearchStart* start) {
    testing::internal::CaptureStdout();
    *start = beginSearch(&memos, includer, name);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  // The first search of a name, which prints nothing itself, skips no slot
  // and records.
  SearchMemo* record(const char16_t* includer, const char16_t* name) {
    SearchStart start = {9, nullptr, true, nullptr};
    EXPECT_EQ(begin(includer, name, &start), "");
    EXPECT_EQ(start.slot, 0u);
    EXPECT_EQ(start.hit, nullptr);
    EXPECT_FALSE(start.printed);
    return start.recording;
  }

  SearchMemos memos = {1 << 20};
  FileCache files = {1 << 20, 1 << 20, 1 << 20};
};

const char16_t kFrom[] = u"\\\\?\\Z:\\src\\a.c\\..";
const char kEntry[] = "!<b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n";

TEST_F(Memo, ARepeatedSearchPrintsItsLinesAndSkipsItsKnownMisses) {
  SearchMemo* recording = record(kFrom, u"b.h");
  ASSERT_NE(recording, nullptr);
  noteMiss(&memos, &recording, 0, missing(u"\\\\?\\Z:\\src\\b.h"), kFrom, &files);
  noteMiss(&memos, &recording, 1, missing(u"\\\\?\\Z:\\b.h"), kFrom, &files);
  // This one opened before: it may open again, so the memo ends before it.
  findPath(&files, u"\\\\?\\Z:\\inc\\b.h")->state = PathState::Opened;
  noteMiss(&memos, &recording, 2, u"\\\\?\\Z:\\inc\\b.h", kFrom, &files);
  EXPECT_EQ(recording, nullptr);
  noteMiss(&memos, &recording, 3, missing(u"\\\\?\\Z:\\more\\b.h"), kFrom, &files);

  std::string lines = std::string(kEntry) +
                      "!<\\\\?\\Z:\\src\\b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n"
                      "!<\\\\?\\Z:\\b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n";
  for (int again = 0; again < 2; ++again) {
    SearchStart start;
    EXPECT_EQ(begin(kFrom, u"b.h", &start), lines);
    EXPECT_EQ(start.slot, 2u);
    EXPECT_EQ(start.hit, nullptr);
    EXPECT_TRUE(start.printed);
    EXPECT_EQ(start.recording, nullptr);
  }
}

TEST_F(Memo, TheCandidateThatOpenedIsGivenWithItsLines) {
  SearchMemo* recording = record(kFrom, u"b.h");
  noteMiss(&memos, &recording, 0, missing(u"\\\\?\\Z:\\src\\b.h"), kFrom, &files);
  CachedPath* found = findPath(&files, u"\\\\?\\Z:\\inc\\b.h");
  noteHit(&memos, &recording, 1, found, kFrom);
  EXPECT_EQ(recording, nullptr);

  SearchStart start;
  EXPECT_EQ(begin(kFrom, u"b.h", &start),
            std::string(kEntry) +
                "!<\\\\?\\Z:\\src\\b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n"
                "!<\\\\?\\Z:\\inc\\b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n");
  EXPECT_EQ(start.slot, 1u);
  EXPECT_EQ(start.hit, found);
  // Its path is the entry's text, terminated, as the search opens it.
  EXPECT_EQ(std::u16string(found->key.text), u"\\\\?\\Z:\\inc\\b.h");
}

TEST_F(Memo, OnlyMissesAndAHitInSlotOrderCount) {
  SearchMemo* recording = record(u"\\\\?\\Z:\\a", u"x.h");
  // Slot 0 gave no candidate at all (too long), so slot 1 cannot be skipped.
  noteMiss(&memos, &recording, 1, missing(u"\\\\?\\Z:\\b\\x.h"), u"\\\\?\\Z:\\a", &files);
  EXPECT_EQ(recording, nullptr);
  SearchStart start;
  EXPECT_EQ(begin(u"\\\\?\\Z:\\a", u"x.h", &start), "!<x.h>\n?<\\\\?\\Z:\\a>\n");
  EXPECT_EQ(start.slot, 0u);

  recording = record(u"\\\\?\\Z:\\a", u"y.h");
  noteHit(&memos, &recording, 1, findPath(&files, u"\\\\?\\Z:\\b\\y.h"), u"\\\\?\\Z:\\a");
  begin(u"\\\\?\\Z:\\a", u"y.h", &start);
  EXPECT_EQ(start.slot, 0u);
  EXPECT_EQ(start.hit, nullptr);
}

TEST_F(Memo, TheIncluderAndTheNameBothMakeTheKey) {
  SearchMemo* recording = record(u"\\\\?\\Z:\\a", u"x.h");
  noteMiss(&memos, &recording, 0, missing(u"\\\\?\\Z:\\a\\x.h"), u"\\\\?\\Z:\\a", &files);
  // The same characters split differently between includer and name, and
  // another name, are other searches, met for the first time.
  EXPECT_NE(record(u"\\\\?\\Z:\\a\\", u"x.h"), nullptr);
  EXPECT_NE(record(u"\\\\?\\Z:\\a", u"y.h"), nullptr);
  SearchStart start;
  EXPECT_NE(begin(u"\\\\?\\Z:\\a", u"x.h", &start), "");
  EXPECT_EQ(start.slot, 1u);
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
