// What the run remembers of its searches and of the candidates of a name, and
// what a repeated search prints.
#include "../search/search_memo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../search/name_candidates.h"

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
  std::string begin(const char16_t* includer, const char16_t* name, SearchStart* start,
                    SearchMemo** known = nullptr) {
    testing::internal::CaptureStdout();
    *start = beginSearch(&memos, includer, name, known);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  // What printTrial prints.
  std::string trial(SearchMemo** recording, const char16_t* path, const char16_t* includer) {
    testing::internal::CaptureStdout();
    printTrial(&memos, recording, path, includer);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  // The first search of a name, which only notes it, then the second, which
  // records, within the limit, once its own lines are printed. Neither
  // prints anything itself or skips a slot.
  SearchMemo* record(const char16_t* includer, const char16_t* name) {
    SearchStart start = {9, nullptr, true, nullptr};
    for (int search = 0; search < 2; ++search) {
      EXPECT_EQ(begin(includer, name, &start), "");
      EXPECT_EQ(start.slot, 0u);
      EXPECT_EQ(start.hit, nullptr);
      EXPECT_FALSE(start.printed);
      if (search == 0) {
        EXPECT_EQ(start.recording, nullptr);
      }
    }
    std::string lines = trial(&start.recording, name, includer);
    EXPECT_EQ(lines, "!<" + narrow(name) + ">\n?<" + narrow(includer) + ">\n");
    return start.recording;
  }

  static std::string narrow(const char16_t* text) {
    std::string bytes;
    for (; *text != 0; ++text) bytes += static_cast<char>(*text);
    return bytes;
  }

  SearchMemos memos = {1 << 20};
  FileCache files = {1 << 20, 1 << 20, 1 << 20};
};

const char16_t kFrom[] = u"\\\\?\\Z:\\src\\a.c\\..";
const char kEntry[] = "!<b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n";
const char kSrc[] = "!<\\\\?\\Z:\\src\\b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n";
const char kRoot[] = "!<\\\\?\\Z:\\b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n";
const char kInc[] = "!<\\\\?\\Z:\\inc\\b.h>\n?<\\\\?\\Z:\\src\\a.c\\..>\n";

TEST_F(Memo, ARepeatedSearchPrintsItsLinesAndSkipsItsKnownMisses) {
  SearchMemo* recording = record(kFrom, u"b.h");
  ASSERT_NE(recording, nullptr);
  EXPECT_EQ(trial(&recording, missing(u"\\\\?\\Z:\\src\\b.h"), kFrom), kSrc);
  noteMiss(&recording, 0, findPath(&files, u"\\\\?\\Z:\\src\\b.h"));
  EXPECT_EQ(trial(&recording, missing(u"\\\\?\\Z:\\b.h"), kFrom), kRoot);
  noteMiss(&recording, 1, findPath(&files, u"\\\\?\\Z:\\b.h"));
  // This one opened before: it may open again, so the memo ends before it,
  // though its lines were printed.
  findPath(&files, u"\\\\?\\Z:\\inc\\b.h")->state = PathState::Opened;
  EXPECT_EQ(trial(&recording, u"\\\\?\\Z:\\inc\\b.h", kFrom), kInc);
  noteMiss(&recording, 2, findPath(&files, u"\\\\?\\Z:\\inc\\b.h"));
  EXPECT_EQ(recording, nullptr);

  for (int again = 0; again < 2; ++again) {
    SearchStart start;
    EXPECT_EQ(begin(kFrom, u"b.h", &start), std::string(kEntry) + kSrc + kRoot);
    EXPECT_EQ(start.slot, 2u);
    EXPECT_EQ(start.hit, nullptr);
    EXPECT_TRUE(start.printed);
    EXPECT_EQ(start.recording, nullptr);
  }
}

TEST_F(Memo, TheCandidateThatOpenedIsGivenWithItsLines) {
  SearchMemo* recording = record(kFrom, u"b.h");
  trial(&recording, missing(u"\\\\?\\Z:\\src\\b.h"), kFrom);
  noteMiss(&recording, 0, findPath(&files, u"\\\\?\\Z:\\src\\b.h"));
  CachedPath* found = findPath(&files, u"\\\\?\\Z:\\inc\\b.h");
  trial(&recording, u"\\\\?\\Z:\\inc\\b.h", kFrom);
  noteHit(&recording, 1, found);
  EXPECT_EQ(recording, nullptr);

  SearchStart start;
  EXPECT_EQ(begin(kFrom, u"b.h", &start), std::string(kEntry) + kSrc + kInc);
  EXPECT_EQ(start.slot, 1u);
  EXPECT_EQ(start.hit, found);
  // Its path is the entry's text, terminated, as the search opens it.
  EXPECT_EQ(std::u16string(found->key.text), u"\\\\?\\Z:\\inc\\b.h");
}

TEST_F(Memo, AMemoKeptByTheCallerServesAsTheOneLookedUp) {
  SearchMemo* kept = nullptr;
  SearchStart start;
  // The first search adds the memo and leaves it with the caller; the second,
  // through it, records.
  EXPECT_EQ(begin(kFrom, u"b.h", &start, &kept), "");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(start.recording, nullptr);
  EXPECT_EQ(begin(kFrom, u"b.h", &start, &kept), "");
  EXPECT_EQ(start.recording, kept);
  trial(&start.recording, u"b.h", kFrom);
  trial(&start.recording, missing(u"\\\\?\\Z:\\src\\b.h"), kFrom);
  noteMiss(&start.recording, 0, findPath(&files, u"\\\\?\\Z:\\src\\b.h"));
  CachedPath* found = findPath(&files, u"\\\\?\\Z:\\b.h");
  trial(&start.recording, u"\\\\?\\Z:\\b.h", kFrom);
  noteHit(&start.recording, 1, found);

  // Looked up or kept, the memo gives the same start and lines.
  SearchMemo* none = nullptr;
  for (SearchMemo** known : {static_cast<SearchMemo**>(nullptr), &kept, &none}) {
    EXPECT_EQ(begin(kFrom, u"b.h", &start, known), std::string(kEntry) + kSrc + kRoot);
    EXPECT_EQ(start.slot, 1u);
    EXPECT_EQ(start.hit, found);
  }
  EXPECT_EQ(none, kept);
}

TEST_F(Memo, OnlyMissesAndAHitInSlotOrderCount) {
  const char16_t* from = u"\\\\?\\Z:\\a";
  SearchMemo* recording = record(from, u"x.h");
  // Slot 0 gave no candidate at all (too long), so slot 1 cannot be skipped.
  trial(&recording, missing(u"\\\\?\\Z:\\b\\x.h"), from);
  noteMiss(&recording, 1, findPath(&files, u"\\\\?\\Z:\\b\\x.h"));
  EXPECT_EQ(recording, nullptr);
  SearchStart start;
  EXPECT_EQ(begin(from, u"x.h", &start), "!<x.h>\n?<\\\\?\\Z:\\a>\n");
  EXPECT_EQ(start.slot, 0u);

  recording = record(from, u"y.h");
  trial(&recording, u"\\\\?\\Z:\\b\\y.h", from);
  noteHit(&recording, 1, findPath(&files, u"\\\\?\\Z:\\b\\y.h"));
  EXPECT_EQ(begin(from, u"y.h", &start), "!<y.h>\n?<\\\\?\\Z:\\a>\n");
  EXPECT_EQ(start.slot, 0u);
  EXPECT_EQ(start.hit, nullptr);
}

TEST_F(Memo, TheIncluderAndTheNameBothMakeTheKey) {
  SearchMemo* recording = record(u"\\\\?\\Z:\\a", u"x.h");
  trial(&recording, missing(u"\\\\?\\Z:\\a\\x.h"), u"\\\\?\\Z:\\a");
  noteMiss(&recording, 0, findPath(&files, u"\\\\?\\Z:\\a\\x.h"));
  // The same characters split differently between includer and name, and
  // another name, are other searches, met for the first time.
  EXPECT_NE(record(u"\\\\?\\Z:\\a\\", u"x.h"), nullptr);
  EXPECT_NE(record(u"\\\\?\\Z:\\a", u"y.h"), nullptr);
  SearchStart start;
  EXPECT_NE(begin(u"\\\\?\\Z:\\a", u"x.h", &start), "");
  EXPECT_EQ(start.slot, 1u);
}

TEST_F(Memo, SearchesBeyondTheLimitAreNotRememberedButPrintTheSame) {
  // The table alone takes 16 KiB; a few memos fit in the rest.
  memos.limit = 20480;
  int remembered = 0;
  for (int number = 0; number < 100; ++number) {
    std::u16string name = u"h" + std::u16string(1, static_cast<char16_t>(u'A' + number)) + u".h";
    std::u16string candidate = u"\\\\?\\Z:\\a\\" + name;
    SearchMemo* recording = record(u"\\\\?\\Z:\\a", name.c_str());
    EXPECT_EQ(trial(&recording, missing(candidate.c_str()), u"\\\\?\\Z:\\a"),
              "!<" + narrow(candidate.c_str()) + ">\n?<\\\\?\\Z:\\a>\n");
    if (recording == nullptr) continue;
    ++remembered;
    noteMiss(&recording, 0, findPath(&files, candidate.c_str()));
  }
  EXPECT_GT(remembered, 0);
  EXPECT_LT(remembered, 100);
  EXPECT_LE(memos.bytes, memos.limit);
}

}  // namespace

TEST(NameCandidatesTable, ANameKeepsItsCandidatesWithinTheLimit) {
  // The table alone takes 16 KiB; a few names fit in the rest.
  CandidateTable table = {20480};
  NameCandidates* found = findCandidates(&table, u"b.h", 3, 20);
  ASSERT_NE(found, nullptr);
  for (uint32_t slot = 0; slot < 20; ++slot) EXPECT_EQ(found->entries[slot], nullptr);
  CachedPath entry{};
  found->entries[5] = &entry;
  EXPECT_EQ(findCandidates(&table, u"b.h", 3, 20)->entries[5], &entry);
  EXPECT_NE(findCandidates(&table, u"b.hh", 3, 20), findCandidates(&table, u"b.hh", 4, 20));
  int remembered = 0;
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    remembered += findCandidates(&table, &letter, 1, 20) != nullptr;
  }
  EXPECT_LT(remembered, 26);
  EXPECT_LE(table.bytes, table.limit);
  clearCandidates(&table);
}
