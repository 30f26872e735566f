// The word-at-a-time searches against a plain byte loop.
#include "../flatten/byte_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

uint64_t naiveFind(const std::string& text, uint64_t from, uint64_t count, char first,
                   char second) {
  while (from < count && text[from] != first && text[from] != second) ++from;
  return from;
}

TEST(ByteSearch, AgreesWithAByteLoopOnRandomTextAtEveryAlignment) {
  std::mt19937 random(7);
  // Wanted bytes next to others that differ by one bit or by a borrow, and
  // bytes with the high bit set, which a word search can mistake.
  const std::string alphabet = std::string("/*\n.+.\x0b\x00\x01\xff\xaf\xaa\x2e\x2b", 15) + "ab ";
  const char pairs[][2] = {{'/', '\n'}, {'*', '\n'}, {'\xaf', '\x00'}, {'\n', '\n'}};
  for (int round = 0; round < 3000; ++round) {
    size_t length = random() % 80;
    std::string text(length, 'x');
    // Sparse wanted bytes make long runs, dense ones short runs.
    unsigned density = 1 + random() % 40;
    for (char& byte : text) {
      if (random() % density == 0) byte = alphabet[random() % alphabet.size()];
    }
    const char* pair = pairs[round % 4];
    for (uint64_t from = 0; from <= length; ++from) {
      for (uint64_t count : {static_cast<uint64_t>(length), from + (length - from) / 2}) {
        ASSERT_EQ(findEitherByte(text.data(), from, count, pair[0], pair[1]),
                  naiveFind(text, from, count, pair[0], pair[1]))
            << "round " << round << " from " << from << " count " << count;
      }
      ASSERT_EQ(findByte(text.data(), from, length, pair[0]),
                naiveFind(text, from, length, pair[0], pair[0]));
      // A set of any length up to eight is a set of pairs, one pair repeated.
      char set[8];
      size_t setLength = 1 + round % 8;
      for (size_t at = 0; at < setLength; ++at) set[at] = pairs[(round + at) % 4][at % 2];
      uint64_t first = length;
      for (size_t at = 0; at < setLength; at += 2) {
        char second = at + 1 < setLength ? set[at + 1] : set[at];
        first = std::min(first, naiveFind(text, from, length, set[at], second));
      }
      ASSERT_EQ(findAnyByte(text.data(), from, length, set, setLength), first);
    }
  }
}

uint64_t naiveFindPair(const std::string& text, uint64_t from, uint64_t count, const char* set) {
  for (; from < count; ++from) {
    if (text[from] == set[0] || text[from] == set[4]) return from;
    if (text[from] == set[1] && from + 1 < count &&
        (text[from + 1] == set[2] || text[from + 1] == set[3])) {
      return from;
    }
  }
  return count;
}

// findCodeStop's stops: `#`, `%`, CR, and `/` before `/`, `*`, `+` or `.`.
uint64_t naiveCodeStop(const std::string& text, uint64_t from, uint64_t count) {
  for (; from < count; ++from) {
    if (text[from] == '#' || text[from] == '%' || text[from] == '\r') return from;
    if (text[from] == '/' && from + 1 < count &&
        std::string("/*+.").find(text[from + 1]) != std::string::npos) {
      return from;
    }
  }
  return count;
}

TEST(ByteSearch, PairsAreFoundWhereTheyStartAndOnlyWithinTheEnd) {
  std::mt19937 random(11);
  // And for findCodeStop: `%`, the `+` and `.` it stops before as well, and
  // `-`, one bit from `/`, before which it must not.
  const std::string alphabet = std::string("/*\n\r#\x00\xaf\x2f\x2a%+.-", 13) + "ab ";
  // Those of the scan, and one whose lead is also a follow.
  // Two singles, then the lead and its two follows, as findByteOrPair takes them.
  const char sets[][5] = {{'\n', '/', '/', '*', '\n'},
                          {'#', '/', '/', '*', '\r'},
                          {'\r', '*', '/', '/', '\r'},
                          {'\x00', '*', '*', '\xaf', '\n'}};
  for (int round = 0; round < 3000; ++round) {
    size_t length = random() % 80;
    std::string text(length, 'x');
    unsigned density = 1 + random() % 20;
    for (char& byte : text) {
      if (random() % density == 0) byte = alphabet[random() % alphabet.size()];
    }
    const char* set = sets[round % 4];
    for (uint64_t from = 0; from <= length; ++from) {
      for (uint64_t count : {static_cast<uint64_t>(length), from + (length - from) / 2}) {
        ASSERT_EQ(findByteOrPair(text.data(), from, count, set[0], set[4], set[1], set[2], set[3]),
                  naiveFindPair(text, from, count, set))
            << "round " << round << " from " << from << " count " << count;
        ASSERT_EQ(findCodeStop(text.data(), from, count), naiveCodeStop(text, from, count))
            << "round " << round << " from " << from << " count " << count;
      }
    }
  }
}

TEST(ByteSearch, LooksNoFurtherThanItsEnd) {
  // The wanted bytes just past `count` must not be found.
  std::string text = std::string(40, 'x') + "/\n";
  for (uint64_t from = 0; from <= 40; ++from) {
    EXPECT_EQ(findEitherByte(text.data(), from, 40, '/', '\n'), 40u);
  }
  EXPECT_EQ(findEitherByte(text.data(), 3, 41, '/', '\n'), 40u);
  // A pair whose second byte lies past the end is no pair.
  std::string pair = std::string(40, 'x') + "/*";
  for (uint64_t from = 0; from <= 41; ++from) {
    EXPECT_EQ(findByteOrPair(pair.data(), from, 41, '\n', '\n', '/', '/', '*'), 41u);
    EXPECT_EQ(findCodeStop(pair.data(), from, 41), 41u);
  }
}

}  // namespace
