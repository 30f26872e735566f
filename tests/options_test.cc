// Option file text: normalisation and the options it yields.
#include "../driver/options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_files.h"

namespace {

std::string normalised(std::string text) {
  text.push_back(0);
  uint64_t length = normaliseOptionText(text.data(), text.size() - 1);
  return text.substr(0, length);
}

std::string narrow(const char16_t* text) {
  std::string result;
  for (; *text != 0; ++text) result.push_back(static_cast<char>(*text));
  return result;
}

// The option values of one letter, as their table texts.
std::vector<std::string> collected(std::string text, char letter, OptionKind kind) {
  text = normalised(text);
  std::string buffer = text + '\0';
  uint32_t count = collectOptions(buffer.data(), text.size(), letter, nullptr, kind);
  std::vector<TextEntry> table(count + 1);
  EXPECT_EQ(collectOptions(buffer.data(), text.size(), letter, table.data(), kind), count);
  EXPECT_EQ(buffer, text + '\0');
  std::vector<std::string> values;
  for (uint32_t i = 0; i < count; ++i) {
    values.push_back(narrow(table[i].text));
    EXPECT_EQ(table[i].count, values.back().size() + 1);
    ::operator delete(table[i].text);
  }
  return values;
}

TEST(NormaliseOptionText, SpacingCommentsAndLineEnds) {
  EXPECT_EQ(normalised("/Ia   \t b\n"), "/Ia b\n");
  EXPECT_EQ(normalised("/Ia   \n"), "/Ia\n");
  EXPECT_EQ(normalised("\n\n  /Ia\n"), " /Ia\n");
  EXPECT_EQ(normalised("/Dx=1 # note\n"), "/Dx=1 \n");
  EXPECT_EQ(normalised("/Ia\r\n\r\n\n/Ib\r\n"), "/Ia\n/Ib\n");
  EXPECT_EQ(normalised("/Ia\rb\n"), "/Iab\n");
  EXPECT_EQ(normalised("# only a comment\n/Ia\n"), "/Ia\n");
  EXPECT_EQ(normalised("/Ia\n   # note\n/Ib\n"), "/Ia\n /Ib\n");
  EXPECT_EQ(normalised("/Ia\n # one\n\t# two\n/Ib\n"), "/Ia\n  /Ib\n");
  EXPECT_EQ(normalised("/Ia\n  # trailing"), "/Ia\n ");
  EXPECT_EQ(normalised("/DX=a#b\n"), "/DX=a\n");
}

TEST(CollectOptions, DefinesAreFormattedFromTheirValue) {
  EXPECT_EQ(collected("/DDEBUG\n/DN=1\n/DA=B=C\n/D\n/D=1\n/D X = 1\n", 'D', OptionKind::Defines),
            (std::vector<std::string>{"#define DEBUG", "#define N 1", "#define A B=C", "#define ",
                                      "#define  1", "#define  X   1"}));
}

TEST(CollectOptions, OnlyExactSlashAndLetterAtLineStartCount) {
  EXPECT_EQ(collected("-DA\n/dB\n  /DC\n/DD\n/IE\n/DF", 'D', OptionKind::Defines),
            (std::vector<std::string>{"#define D", "#define F"}));
  EXPECT_EQ(collected("/Ia\n   # note\n/Ib\n", 'I', OptionKind::Paths).size(), 1u);
}

TEST(CollectOptions, LongDefinesAreKeptWhole) {
  std::string value(100000, 'v');
  std::vector<std::string> defines = collected("/DLONG=" + value + "\n", 'D', OptionKind::Defines);
  ASSERT_EQ(defines.size(), 1u);
  EXPECT_EQ(defines[0], "#define LONG " + value);
}

TEST(CollectOptions, DirectoriesResolveAgainstTheCurrentDirectory) {
  ScratchDirectory dir;
  char* saved = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  std::vector<std::string> paths =
      collected("/Iinc\n/I inc\n/I\n/I" + std::string(40000, 'd') + "\n", 'I', OptionKind::Paths);
  EXPECT_EQ(chdir(saved), 0);
  free(saved);
  EXPECT_EQ(paths, (std::vector<std::string>{dir.shown() + "\\inc", dir.shown() + "\\ inc",
                                             "\\\\?\\", "\\\\?\\"}));
}

}  // namespace
