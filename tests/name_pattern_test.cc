// Patterns for --no-expand, and names as make reads them.
#include "../flatten/name_pattern.h"

#include <gtest/gtest.h>

#include <string>

#include "../output/dependencies.h"

namespace {

bool matches(const char* pattern, const std::string& name) {
  return matchesPattern(pattern, name.data(), name.size());
}

TEST(NamePattern, StarsQuestionMarksAndEitherSlash) {
  EXPECT_TRUE(matches("gen/*", "gen/a.h"));
  EXPECT_TRUE(matches("gen/*", "gen\\sub\\a.h"));
  EXPECT_TRUE(matches("gen\\*.h", "gen/a.h"));
  EXPECT_TRUE(matches("*", ""));
  EXPECT_TRUE(matches("a?c", "abc"));
  EXPECT_TRUE(matches("*a*b*", "xxaxxbxx"));
  EXPECT_TRUE(matches("*.h", "a.h.h"));
  EXPECT_TRUE(matches("a**b", "ab"));
  EXPECT_FALSE(matches("a?c", "ac"));
  EXPECT_FALSE(matches("gen/*", "gen"));
  EXPECT_FALSE(matches("*.h", "a.hpp"));
  EXPECT_FALSE(matches("a.h", "A.h"));
  EXPECT_FALSE(matches("?", "/x"));
  EXPECT_FALSE(matches("", "a"));
  // The name's length counts, not a terminator.
  EXPECT_TRUE(matchesPattern("ab", "abc", 2));
  EXPECT_FALSE(matchesPattern("abc", "abc", 2));
}

std::string escaped(const std::string& name) {
  std::string out(name.size() * 2 + 1, '\0');
  out.resize(escapeForMake(name.c_str(), out.data()));
  return out;
}

TEST(MakeNames, BlanksHashesDollarsAndTheBackslashesBeforeThem) {
  EXPECT_EQ(escaped("/usr/inc/a.h"), "/usr/inc/a.h");
  EXPECT_EQ(escaped("a b\tc"), "a\\ b\\\tc");
  EXPECT_EQ(escaped("a#b$c"), "a\\#b$$c");
  EXPECT_EQ(escaped("C:\\w\\ x.h"), "C:\\w\\\\\\ x.h");
  EXPECT_EQ(escaped("d\\\\ x"), "d\\\\\\\\\\ x");
  EXPECT_EQ(escaped("C:\\w\\b.h"), "C:\\w\\b.h");
}

}  // namespace
