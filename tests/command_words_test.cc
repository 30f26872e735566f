// A compile command's words: the two splitting rules, which rules a command
// gets, and response files read in place.
#include "../driver/command_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"

namespace {

using Words = std::vector<std::string>;

Words split(const std::string& text, CommandRules rules) {
  WordList list = {};
  EXPECT_EQ(splitCommandWords(text.data(), text.size(), rules, &list), SplitResult::Split) << text;
  Words words(list.words, list.words + list.count);
  if (list.count > 0) ::operator delete(list.words[0]);
  freeWordArray(&list);
  return words;
}

Words posix(const std::string& text) {
  return split(text, CommandRules::Posix);
}

Words windows(const std::string& text) {
  return split(text, CommandRules::Windows);
}

TEST(SplitCommandWords, PosixShellRules) {
  EXPECT_EQ(posix(" gcc  -c\ta.c \n -o\r\nb.o "), (Words{"gcc", "-c", "a.c", "-o", "b.o"}));
  EXPECT_EQ(posix(""), Words{});
  EXPECT_EQ(posix("'a b'\"c d\"e '' \"\""), (Words{"a bc de", "", ""}));
  EXPECT_EQ(posix(R"('\"$x' "\$ \` \" \\ \x \'")"), (Words{R"(\"$x)", R"($ ` " \ \x \')"}));
  EXPECT_EQ(posix("\"a\\\nb\" c\\\nd \\\n e"), (Words{"ab", "cd", "e"}));
  EXPECT_EQ(posix(R"(a\ b \'c -DX=\"s\" end\)"), (Words{"a b", "'c", "-DX=\"s\"", "end\\"}));
  EXPECT_EQ(posix(R"(C:\tools\cl.exe)"), Words{"C:toolscl.exe"});
  // The length counts, not a NUL: a response file may hold one.
  EXPECT_EQ(posix(std::string("a\0b c", 5)), (Words{"a", "c"}));
}

TEST(SplitCommandWords, WindowsCommandLineRules) {
  EXPECT_EQ(windows(R"(C:\tools\cl.exe /c "a b.c"  x"y z"w)"),
            (Words{R"(C:\tools\cl.exe)", "/c", "a b.c", "xy zw"}));
  // 2n backslashes before a quote give n and the quote counts; 2n+1 give n
  // and a literal quote; backslashes before anything else stay.
  EXPECT_EQ(windows(R"(a\\\\"b c" a\\\"b a\\b a\"b "C:\dir\\" x)"),
            (Words{R"(a\\b c)", R"(a\"b)", R"(a\\b)", R"(a"b)", R"(C:\dir\)", "x"}));
  EXPECT_EQ(windows(R"("a""b" "" "a"" b" 'c d' -DX=\"s\")"),
            (Words{R"(a"b)", "", R"(a" b)", "'c", "d'", R"(-DX="s")"}));
  EXPECT_EQ(windows("a\r\nb\\"), (Words{"a", "b\\"}));
}

TEST(SplitCommandWords, AnUnbalancedQuoteAppendsNothing) {
  const std::vector<std::pair<std::string, CommandRules>> cases = {
      {"gcc 'a", CommandRules::Posix},       {"gcc \"a", CommandRules::Posix},
      {"gcc \"a\\\"", CommandRules::Posix},  {"gcc 'a\\'' b", CommandRules::Posix},
      {"cl \"a", CommandRules::Windows},     {"cl a\\\\\"b", CommandRules::Windows},
      {"cl \"a\"\"", CommandRules::Windows},
  };
  for (const auto& [text, rules] : cases) {
    WordList list = {};
    char kept[] = "kept";
    ASSERT_TRUE(appendWord(&list, kept));
    EXPECT_EQ(splitCommandWords(text.data(), text.size(), rules, &list),
              SplitResult::UnbalancedQuote)
        << text;
    EXPECT_EQ(list.count, 1u) << text;
    freeWordArray(&list);
  }
}

TEST(CommandRulesOf, ClAndClangClByTheLastPathComponent) {
  for (const char* compiler : {"cl", "CL.EXE", "C:\\VS\\bin\\cl.exe", "/opt/llvm/bin/clang-cl",
                               "Clang-CL.Exe", "tools/x\\cl"}) {
    EXPECT_EQ(rulesForCompiler(compiler), CommandRules::Windows) << compiler;
  }
  for (const char* compiler : {"gcc", "clang", "cl.exe.bak", "xcl", "cl/gcc", "clang-cl-17", ""}) {
    EXPECT_EQ(rulesForCompiler(compiler), CommandRules::Posix) << compiler;
  }
  EXPECT_EQ(rulesForCommand(R"("C:\Program Files\VS\cl.exe" /c a.c)"), CommandRules::Windows);
  EXPECT_EQ(rulesForCommand(R"(C:\VS\clang-cl.exe /c a.c)"), CommandRules::Windows);
  EXPECT_EQ(rulesForCommand(R"(sccache C:\VS\cl.exe /c a.c)"), CommandRules::Windows);
  EXPECT_EQ(rulesForCommand("/usr/bin/gcc -c a.c"), CommandRules::Posix);
  EXPECT_EQ(rulesForCommand("ccache"), CommandRules::Posix);
  EXPECT_EQ(rulesForCommand(""), CommandRules::Posix);
  const char* launched[] = {"/usr/bin/ccache", "cl", "/c"};
  EXPECT_EQ(compilerIndex(launched, 3), 1u);
  EXPECT_EQ(compilerIndex(launched, 1), 0u);
  EXPECT_EQ(compilerIndex(launched + 1, 2), 0u);
}

class EntryWordsRead : public ::testing::Test {
 protected:
  // The words of an entry with `command`, or with `arguments` when the
  // command is empty; what was said on standard error in *said.
  Words read(const std::string& command, std::vector<const char*> arguments = {},
             int* status = nullptr) {
    CompileEntry entry = {dir.path().c_str(), "a.c", nullptr, nullptr, 0, 12, 40};
    if (arguments.empty()) {
      entry.command = command.c_str();
    } else {
      entry.arguments = arguments.data();
      entry.argumentCount = static_cast<uint32_t>(arguments.size());
    }
    EntryWords words;
    testing::internal::CaptureStderr();
    int read = readEntryWords(entry, "db.json", &words);
    said = testing::internal::GetCapturedStderr();
    if (status != nullptr) *status = read;
    EXPECT_EQ(read, status == nullptr ? 1 : read);
    rules = words.rules;
    Words texts(words.words.words, words.words.words + words.words.count);
    freeEntryWords(&words);
    return texts;
  }

  ScratchDirectory dir;
  CommandRules rules = CommandRules::Posix;
  std::string said;
};

TEST_F(EntryWordsRead, ResponseFilesAreReadInPlaceAndNested) {
  dir.write("a.rsp", "\xEF\xBB\xBF-DA '-DB C'\n@sub/b.rsp\r\n-DD");
  dir.write("sub/b.rsp", "-DE @c.rsp");
  dir.write("c.rsp", "-DF");
  EXPECT_EQ(read("gcc -c @a.rsp a.c @"),
            (Words{"gcc", "-c", "-DA", "-DB C", "-DE", "-DF", "-DD", "a.c", "@"}));
  EXPECT_EQ(said, "");
  EXPECT_EQ(read("", {"gcc", "@a.rsp", "-DX Y"}),
            (Words{"gcc", "-DA", "-DB C", "-DE", "-DF", "-DD", "-DX Y"}));
  // The compiler word is never a response file.
  EXPECT_EQ(read("@c.rsp -c"), (Words{"@c.rsp", "-c"}));
}

TEST_F(EntryWordsRead, ClResponseFilesFollowTheWindowsRules) {
  dir.write("w.rsp", R"(/I"C:\x y\\" /DQ=\"s\" 'a)");
  EXPECT_EQ(read(R"(C:\VS\cl.exe @w.rsp /c)"),
            (Words{R"(C:\VS\cl.exe)", R"(/IC:\x y\)", R"(/DQ="s")", "'a", "/c"}));
  EXPECT_EQ(rules, CommandRules::Windows);
  EXPECT_EQ(read("", {"clang-cl.exe", "@w.rsp"}).size(), 4u);
  EXPECT_EQ(rules, CommandRules::Windows);
}

TEST_F(EntryWordsRead, AResponseFileThatCannotBeReadIsKeptWithAWarning) {
  EXPECT_EQ(read("gcc @missing.rsp -c"), (Words{"gcc", "@missing.rsp", "-c"}));
  EXPECT_EQ(said.rfind("db.json:40: warning: cannot read the response file 'missing.rsp' (", 0), 0u)
      << said;
  EXPECT_NE(said.find("; '@missing.rsp' is kept as a word\n"), std::string::npos) << said;
}

TEST_F(EntryWordsRead, UnbalancedQuotesAndEndlessNestingStopTheRun) {
  int status = 1;
  read("gcc -DX='a", {}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(said,
            "tuflat: the command of entry 12 of 'db.json' (line 40) has an unbalanced quote\n");
  dir.write("open.rsp", "-DX=\"a");
  read("gcc @open.rsp", {}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(said,
            "tuflat: the response file 'open.rsp' of entry 12 of 'db.json' (line 40) has an "
            "unbalanced quote\n");
  dir.write("loop.rsp", "-DX @loop.rsp");
  read("gcc @loop.rsp", {}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(said,
            "tuflat: response files nest more than 64 deep in entry 12 of 'db.json' (line 40), at "
            "'@loop.rsp'\n");
}

}  // namespace
