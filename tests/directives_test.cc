// Directives found as a compiler finds them, and which files count as read once.
#include "../flatten/directives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Found {
  std::vector<DirectiveKind> kinds;
  // The macro named by each directive, empty when none.
  std::vector<std::string> names;
  OnceClass once;
};

Found directivesOf(const std::string& text) {
  DirectiveList list;
  EXPECT_EQ(listDirectives(text.data(), text.size(), &list), 1);
  Found found;
  for (uint32_t at = 0; at < list.count; ++at) {
    found.kinds.push_back(list.items[at].kind);
    found.names.emplace_back(text.data() + list.items[at].nameStart, list.items[at].nameLength);
  }
  found.once = classifyOnce(text.data(), list);
  freeDirectives(&list);
  return found;
}

using K = DirectiveKind;

TEST(Directives, AreFoundOnlyWhereACompilerSeesThem) {
  Found found = directivesOf(
      "  #  if X\n"
      "/* #if in a comment\n#endif */\n"
      "// #if after a line comment\n"
      "int x; #if not first on its line\n"
      "const char* s = \"\\\n#if inside a string\";\n"
      "auto r = R\"d(\n#if inside a raw string\n)d\";\n"
      "/* first */ # /* between */ undef  Y // tail\n"
      "#include <a/*b.h>\n"
      "#endif\n"
      "#def\\\nine S\\\nPLICED\n"
      "#endif\\\n\n"
      "# pragma once\n"
      "#\n"
      "#elif 1\n");
  EXPECT_EQ(found.kinds,
            (std::vector<DirectiveKind>{K::Open, K::Undef, K::AngleInclude, K::Close, K::Define,
                                        K::Close, K::PragmaOnce, K::Other, K::Alternative}));
  // A name split by a line splice is not taken as a guard's name.
  EXPECT_EQ(found.names[1], "Y");
  EXPECT_EQ(found.names[4], "");
}

TEST(Directives, TextLinesHideDirectivesOnlyWhereTheirTokensDo) {
  Found found = directivesOf(
      "int a = 1'000; /* a digit separator opens no literal\n#if HIDDEN\n*/\n"
      "char c = '/'; char d = '*'; /* after character literals\n#if HIDDEN\n*/\n"
      "const char* s = \"// not a comment\"; #if NOT_FIRST\n"
      "auto r = x + R\"t(\n#if IN_A_RAW_STRING\n)t\";\n"
      "auto q = xR\"(\"; // an identifier ending in R, then an ordinary literal\n"
      "int e = 0x1'f + 1e+5'0; // line comment \\\n#if SPLICED_INTO_THE_COMMENT\n"
      "int g; /** **/ x / y;\n"
      "int h = 2 \\\n#if JOINED_TO_TEXT\n"
      "#ifdef SEEN\n#endif\n"
      "int f; /* closed through a splice *\\\n/\n#ifdef AFTER_IT\n#endif\n");
  EXPECT_EQ(found.kinds, (std::vector<DirectiveKind>{K::Open, K::Close, K::Open, K::Close}));
}

TEST(Directives, AWholeFileGuardIsRecognisedInEachOfItsForms) {
  for (const char* text :
       {"#ifndef G\n#define G\nint g;\n#endif\n",
        "// lead\n\n/* c */\n#if !defined(G)\n# define G 1\n#if X\n#else\n#endif\n#endif // G\n",
        "#if ! defined G\n#define G\n#endif\n/* trailing */\n"}) {
    Found found = directivesOf(text);
    EXPECT_TRUE(found.once.guarded) << text;
    EXPECT_FALSE(found.once.pragmaOnce) << text;
    EXPECT_EQ(std::string(text + found.once.guardStart, found.once.guardLength), "G") << text;
  }
}

TEST(Directives, TextOrBranchesOutsideTheGuardMakeAFileReadAgain) {
  for (const char* text :
       {"int x;\n#ifndef G\n#define G\n#endif\n", "#ifndef G\n#define G\n#endif\nint x;\n",
        "#ifndef G\n#define G\n#else\nint x;\n#endif\n", "#ifndef G\n#define H\n#endif\n",
        "#ifndef G\n#endif\n#define G\n", "#ifdef G\n#define G\n#endif\n",
        "#if !defined(G) && X\n#define G\n#endif\n",
        "#ifndef G\n#define G\n#endif\n#ifndef G\n#endif\n", "#ifndef G\n#define G\n"}) {
    EXPECT_FALSE(directivesOf(text).once.guarded) << text;
  }
  // #pragma once anywhere is enough.
  EXPECT_TRUE(directivesOf("int x;\n#pragma once\n").once.pragmaOnce);
  EXPECT_FALSE(directivesOf("#pragma onces\n#pragma\n").once.pragmaOnce);
}

}  // namespace
