// The program as a user runs it: exact standard output, output file and status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "run_tool.h"
#include "test_files.h"

namespace {

std::string lines(const std::vector<std::string>& each) {
  std::string text;
  for (const std::string& line : each) text += line + "\n";
  return text;
}

class EndToEnd : public ::testing::Test {
 protected:
  ToolRun flatten(const std::string& options = "", const std::string& source = "a.c") {
    dir.write("opts.txt", options);
    return runTool({"opts.txt", source, "out.c"}, dir.path());
  }
  // The directory as printed, followed by `rest`.
  std::string at(const std::string& rest = "") const { return dir.shown() + rest; }
  // The standard output of a run without options on a main source `a.c`.
  std::string header() const {
    return lines({"n_I=1", "<" + at() + ">", "<" + at() + ">", "n_D=0", "!<" + at("\\a.c") + ">",
                  "?<" + at() + ">"});
  }

  ScratchDirectory dir;
};

TEST_F(EndToEnd, WholeRunWithOptionsAndANestedInclude) {
  dir.write("a.c", "#include \"b.h\"\nint a;\n");
  dir.write("inc/b.h", "int b;\n");
  ToolRun run = flatten("/Iinc\n/DX=1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"), "#define X 1\n\n\n//--- #include \"b.h\"\nint b;\nint a;\n");
  std::string from = "?<" + at("\\a.c\\..") + ">";
  EXPECT_EQ(run.out,
            lines({"n_I=2", "<" + at() + ">", "<" + at() + ">", "<" + at("\\inc") + ">", "n_D=1",
                   "<#define X 1>", "!<" + at("\\a.c") + ">", "?<" + at() + ">", "l=22",
                   "#include: [b.h]", "!<b.h>", from, "!<" + at("\\b.h") + ">", from,
                   "!<" + at("\\b.h") + ">", from, "!<" + at("\\inc\\b.h") + ">", from, "l=7"}));
  EXPECT_EQ(run.err, "");
}

TEST_F(EndToEnd, SourceWithoutIncludesIsCopiedAfterTheSeparator) {
  dir.write("a.c", "int a;\n\nint b;\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"), "\n\nint a;\n\nint b;\n");
  EXPECT_EQ(run.out, header() + "l=15\n");
}

TEST_F(EndToEnd, RelativeMainSourceInASubdirectory) {
  dir.write("src/a.c", "x\n");
  ToolRun run = flatten("", "src/a.c");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, lines({"n_I=1", "<" + at("\\src") + ">", "<" + at("\\src") + ">", "n_D=0",
                            "!<" + at("\\src\\a.c") + ">", "?<" + at("\\src") + ">", "l=2"}));
}

TEST_F(EndToEnd, LinesAreCopiedExactlyAndOnlyRealIncludeLinesExpand) {
  dir.write("q.h", "Q\n");
  dir.write("a.c",
            "\xEF\xBB\xBF#include \"q.h\"\r\n"  // the mark moves to the head of the output
            "crlf line\r\n"
            "  #  include   \"q.h\"  // c\n"
            "#inc lude \"q.h\"\n"
            "##include \"q.h\"\n"
            "x /* #include \"q.h\" */\n"
            "/* open\n"
            "#include \"q.h\"\n"
            "*/ #include \"q.h\"\n"
            "#include \"q.h\"\n"
            "#include <a.h> \"q.h\"\n"
            "#include \"q.h\" <a.h>\n"
            "#include_next \"q.h\"\n"
            "#include \"dir//q.h\"\n"
            "#include \"q.h\r\n"
            "continued \\\n"
            "#include \"q.h\"\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  std::string q = "Q\n";
  EXPECT_EQ(dir.read("out.c"), "\xEF\xBB\xBF\n\n//--- #include \"q.h\"\n" + q +
                                   "crlf line\n"
                                   "//---   #  include   \"q.h\"  // c\n" +
                                   q + "//--- #inc lude \"q.h\"\n" + q +
                                   "##include \"q.h\"\n"
                                   "x /* #include \"q.h\" */\n"
                                   "/* open\n"
                                   "#include \"q.h\"\n"
                                   "*/ #include \"q.h\"\n"
                                   "//--- #include \"q.h\"\n" +
                                   q +
                                   "#include <a.h> \"q.h\"\n"
                                   "//--- #include \"q.h\" <a.h>\n" +
                                   q + "//--- #include_next \"q.h\"\n" + q +
                                   "#include \"dir//q.h\"\n"
                                   "#include \"q.h\n"
                                   "continued \\\n"
                                   "#include \"q.h\"\n");
  EXPECT_NE(run.out.find("#include: <a.h>\n"), std::string::npos);
}

TEST_F(EndToEnd, IncludesAreSearchedFromTheIncludersDirectoryFirst) {
  dir.write("a.c", "#include \"sub/m.h\"\n#include \"x.h\"\n");
  dir.write("sub/m.h", "#include \"x.h\"\n");
  dir.write("sub/x.h", "sub x\n");
  dir.write("x.h", "top x\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  // Inside sub/m.h its own directory wins; back in a.c, a.c's directory does.
  EXPECT_EQ(dir.read("out.c"),
            "\n\n//--- #include \"sub/m.h\"\n//--- #include \"x.h\"\nsub x\n"
            "//--- #include \"x.h\"\ntop x\n");
  EXPECT_NE(run.out.find("!<" + at("\\sub\\x.h") + ">\n?<" + at("\\sub\\m.h\\..") + ">\nl=6\n"),
            std::string::npos);
}

// After a few misses in a directory the run lists it and stops opening the
// names it lacks; every include must still find what an open finds. d1
// holds names that differ from the includes only in case, which Windows
// opens and Linux does not, and a file in place of `sub`; d2 holds an empty
// `sub` and no `nosub`; d3 holds every name, and alone the `m` names, which
// make the others miss.
TEST_F(EndToEnd, DirectoriesThatMissedFindWhatAnOpenFinds) {
  std::string source, expected = "\n\n";
  dir.write("d1/sub", "not a directory\n");
  dir.write("d2/sub/.keep", "");
  for (int i = 0; i < 6; ++i) {
    std::string n = std::to_string(i);
    dir.write("d1/H" + n + ".h", "d1 " + n + "\n");
    dir.write("d3/h" + n + ".h", "d3 " + n + "\n");
    dir.write("d3/m" + n + ".h", "m " + n + "\n");
    dir.write("d3/sub/x" + n + ".h", "sub " + n + "\n");
    dir.write("d3/nosub/y" + n + ".h", "nosub " + n + "\n");
    // Each include's name, and the text of the file an open finds for it.
    const std::pair<std::string, std::string> includes[] = {
        {"m" + n + ".h", "m "},
        {"h" + n + ".h", runsWindowsProgram() ? "d1 " : "d3 "},
        {"sub/x" + n + ".h", "sub "},
        {"nosub/y" + n + ".h", "nosub "}};
    for (const auto& [name, text] : includes) {
      source += "#include \"" + name + "\"\n";
      expected += "//--- #include \"" + name + "\"\n" + text + n + "\n";
    }
  }
  dir.write("a.c", source);
  ToolRun run = flatten("/Id1\n/Id2\n/Id3\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"), expected);
  EXPECT_EQ(run.err, "");
}

TEST_F(EndToEnd, MissingIncludesLeaveTheMarker) {
  dir.write("a.c", "#include \"none.h\"\n#include \"\"\nend\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"),
            "\n\n//--- #include \"none.h\"\n!!! NO FILE !!!\n//--- #include \"\"\n"
            "!!! NO FILE !!!\nend\n");
}

TEST_F(EndToEnd, PrefixedNamesOpenDirectlyAndDriveNamesAreSearched) {
  dir.write("q.h", "Q\n");
  std::string direct = at("\\q.h");
  std::string missing = at("\\none.h");
  dir.write("a.c",
            "#include \"" + direct + "\"\n#include \"" + missing + "\"\n#include \"C:\\q.h\"\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  // A prefixed name that does not open leaves the marker, as a searched one does.
  EXPECT_EQ(dir.read("out.c"), "\n\n//--- #include \"" + direct + "\"\nQ\n//--- #include \"" +
                                   missing + "\"\n!!! NO FILE !!!\n//--- #include \"C:\\q.h\"\n" +
                                   "!!! NO FILE !!!\n");
  EXPECT_NE(run.out.find("#include: [" + missing + "]\n!<" + missing + ">\n?<" + at("\\a.c\\..") +
                         ">\n#include: [C:\\q.h]\n!<C:\\q.h>\n"),
            std::string::npos);
}

TEST_F(EndToEnd, ALastLineWithoutLfIsWrittenAndFollowed) {
  dir.write("a.c", "#include \"b.h\"\nlast");
  dir.write("b.h", "b\r\n#include \"c.h\"");
  dir.write("c.h", "c\r");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"), "\n\n//--- #include \"b.h\"\nb\n//--- #include \"c.h\"\nc\nlast\n");
}

TEST_F(EndToEnd, LongLinesAndMixedLineEndsStayExact) {
  // Spans long enough to be written straight from the file's buffer, broken
  // by CRs and include lines, must come out in order and complete.
  std::string longLine(200000, 'x');
  std::string source, expected = "\n\n";
  for (int i = 0; i < 20; ++i) {
    source += longLine + std::to_string(i) + (i % 3 == 0 ? "\r\n" : "\n");
    expected += longLine + std::to_string(i) + "\n";
    if (i % 5 == 0) {
      source += "#include \"s.h\"\n";
      expected += "//--- #include \"s.h\"\nsmall\n";
    }
    source += "short\r\n";
    expected += "short\n";
  }
  dir.write("a.c", source);
  dir.write("s.h", "small\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(dir.read("out.c") == expected);
}

// The scan passes over runs that cannot change its state, in comments across
// lines as well; every CR before an LF still goes and every include line is
// still found where it starts a line.
TEST_F(EndToEnd, CommentsAcrossCrLfLinesStayExact) {
  dir.write("q.h", "Q\n");
  dir.write("a.c",
            "/* one\r\n two\r\n\r\n*/ x\r\n"
            "/**\r\n * doc\r\n **/\r\n"
            "#include \"q.h\"\r\n"
            "#include \"q.h\" /* open\r\n still */ y\r\n"
            "/* a\rb */\r\n"
            "y = a / b; // z\r\n"
            "p = *q / *r; /*/ odd */ **/\r\n"
            "  /* c */ #include \"q.h\"\r\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"),
            "\n\n/* one\n two\n\n*/ x\n/**\n * doc\n **/\n//--- #include \"q.h\"\nQ\n"
            "//--- #include \"q.h\" /* open\n//---  still */ y\nQ\n/* a\rb */\ny = a / b; // z\n"
            "p = *q / *r; /*/ odd */ **/\n  /* c */ #include \"q.h\"\n");
}

// An include line whose line ends inside a block comment or with a backslash
// runs on: every line of its directive is written commented before the
// expansion, and an include line among them is not followed.
TEST_F(EndToEnd, AnIncludeThatRunsOnIsWrittenWholeBeforeItsText) {
  dir.write("q.h", "Q\n");
  dir.write("r.h",
            "#include \"q.h\" /* open\r\n#include \"q.h\"\r\n*/ x /* again\n*/ y\n"
            "#include \"q.h\" \\\n#include \"q.h\" \\ \t\r\n/* a\n*/ // b \\\nc\n"
            "#include \"q.h\" /* one */ /* two */\nend\n");
  // The scan of r.h is recorded, and replayed from its third copy on.
  dir.write("a.c", "#include \"r.h\"\n#include \"r.h\"\n#include \"r.h\"\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  std::string r =
      "//--- #include \"r.h\"\n//--- #include \"q.h\" /* open\n//--- #include \"q.h\"\n"
      "//--- */ x /* again\n//--- */ y\nQ\n//--- #include \"q.h\" \\\n"
      "//--- #include \"q.h\" \\ \t\n//--- /* a\n//--- */ // b \\\n//--- c\nQ\n"
      "//--- #include \"q.h\" /* one */ /* two */\nQ\nend\n";
  EXPECT_EQ(dir.read("out.c"), "\n\n" + r + r + r);
}

// The record of a file of CRLF lines joins the spans that the CRs the scan
// drops part, short and long; its replays drop those CRs and keep the others.
TEST_F(EndToEnd, ReplayedCrLfLinesLoseTheSameCrsAsTheScan) {
  std::string longer(300, 'l');
  std::string longest(20000, 'm');
  dir.write("q.h", "Q\n");
  dir.write("r.h", "\r\na\r\n\r\nb\r\r\nc\rd\r\n" + longer + "\r\n/* e\r\n*/\r\n" + longest +
                       "\r\n#include \"q.h\"\r\nf\r\n\r\r\ng\r");
  dir.write("a.c", "#include \"r.h\"\n#include \"r.h\"\n#include \"r.h\"\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  std::string r = "//--- #include \"r.h\"\n\na\n\nb\r\nc\rd\n" + longer + "\n/* e\n*/\n" + longest +
                  "\n//--- #include \"q.h\"\nQ\nf\n\r\ng\n";
  EXPECT_TRUE(dir.read("out.c") == "\n\n" + r + r + r);
}

TEST_F(EndToEnd, AnIncludeContinuedAtTheEndOfAFileGetsAnEmptyLineToJoin) {
  // Without it, the compiler would join the first line of the text to the comment.
  dir.write("q.h", "Q\n");
  dir.write("b.h", "#include \"q.h\" \\\n");
  dir.write("c.h", "#include \"q.h\" /* x \\ \r");
  dir.write("a.c", "#include \"b.h\"\n#include \"c.h\"\nend\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"),
            "\n\n//--- #include \"b.h\"\n//--- #include \"q.h\" \\\n\nQ\n"
            "//--- #include \"c.h\"\n//--- #include \"q.h\" /* x \\ \n\nQ\nend\n");
}

// A line joined to the one before by a backslash holds no directive, and a
// line comment so continued takes in the next line.
TEST_F(EndToEnd, BackslashesJoinLinesThatHoldNoInclude) {
  dir.write("q.h", "Q\n");
  dir.write("a.c",
            "\\\n#include \"q.h\"\n// note \\\n#include \"q.h\"\nint x; \\\r\n  #include \"q.h\"\n"
            "#define M \\ \t\n%:include \"q.h\"\n// a \\\n/* not opened\n#include \"q.h\"\n"
            "a \\ b\n#include \"q.h\"\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      dir.read("out.c"),
      "\n\n\\\n#include \"q.h\"\n// note \\\n#include \"q.h\"\nint x; \\\n  #include \"q.h\"\n"
      "#define M \\ \t\n%:include \"q.h\"\n// a \\\n/* not opened\n//--- #include \"q.h\"\n"
      "Q\na \\ b\n//--- #include \"q.h\"\nQ\n");
}

TEST_F(EndToEnd, TheDigraphOfTheHashBeginsAnIncludeToo) {
  dir.write("q.h", "Q\n");
  dir.write("a.c",
            "%:include \"q.h\"\nx;\n  %:  inc lude \"q.h\"\n% :include \"q.h\"\n"
            "%%:include \"q.h\"\nx %:include \"q.h\"\n%:include <v.h>\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"),
            "\n\n//--- %:include \"q.h\"\nQ\nx;\n//---   %:  inc lude \"q.h\"\nQ\n"
            "% :include \"q.h\"\n%%:include \"q.h\"\nx %:include \"q.h\"\n%:include <v.h>\n");
  EXPECT_NE(run.out.find("l=2\n#include: <v.h>\n"), std::string::npos);
}

TEST_F(EndToEnd, ACrThatNoLfFollowsEndsALineAsCompilersTakeIt) {
  // The CR ends a line comment, and an include may follow it; the bytes
  // before the include line stay as they are, CRs included.
  dir.write("q.h", "Q\n");
  dir.write("a.c",
            "int a;\r#include \"q.h\"\r\n// c\r#include \"q.h\"\n/* c\r#include \"q.h\" */\n"
            "#include/*\r*/\"q.h\"\n#include \"q.h\" \\\rx\n");
  EXPECT_EQ(flatten().status, 0);
  // As with an LF, a name on a line after the one that holds `#include` is
  // none of its, and a backslash before the CR carries the directive on.
  EXPECT_EQ(dir.read("out.c"),
            "\n\nint a;\r//--- #include \"q.h\"\nQ\n// c\r//--- #include \"q.h\"\nQ\n"
            "/* c\r#include \"q.h\" */\n#include/*\r*/\"q.h\"\n"
            "//--- #include \"q.h\" \\\n//--- x\nQ\n");
}

TEST_F(EndToEnd, IncludeCyclesAreCutButRepeatsExpandAgain) {
  dir.write("a.c", "#include \"b.h\"\n#include \"b.h\"\n#include \"a.c\"\n");
  dir.write("b.h", "b\n#include \"c.h\"\n");
  dir.write("c.h", "#include \"b.h\"\nc\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  std::string b =
      "//--- #include \"b.h\"\nb\n//--- #include \"c.h\"\n//--- #include \"b.h\"\n"
      "//!!! INCLUDE CYCLE !!!\nc\n";
  EXPECT_EQ(dir.read("out.c"),
            "\n\n" + b + b + "//--- #include \"a.c\"\n//!!! INCLUDE CYCLE !!!\n");
}

// The third include of a file and the second of a missing name are answered
// from memory; the account and the output show every attempt all the same.
TEST_F(EndToEnd, RepeatedIncludesShowEveryAttempt) {
  dir.write("a.c",
            "#include \"b.h\"\n#include \"none.h\"\n#include \"b.h\"\n#include \"none.h\"\n"
            "#include \"b.h\"\n");
  dir.write("inc/b.h", "b\r\n#include <v.h>\n#include \"b.h\"\n");
  ToolRun run = flatten("/Iinc\n");
  EXPECT_EQ(run.status, 0);
  std::string b =
      "//--- #include \"b.h\"\nb\n#include <v.h>\n//--- #include \"b.h\"\n"
      "//!!! INCLUDE CYCLE !!!\n";
  std::string none = "//--- #include \"none.h\"\n!!! NO FILE !!!\n";
  EXPECT_EQ(dir.read("out.c"), "\n\n" + b + none + b + none + b);
  std::string fromA = "?<" + at("\\a.c\\..") + ">";
  std::string fromB = "?<" + at("\\inc\\b.h\\..") + ">";
  std::string bLines = lines({"#include: [b.h]", "!<b.h>", fromA, "!<" + at("\\b.h") + ">", fromA,
                              "!<" + at("\\b.h") + ">", fromA, "!<" + at("\\inc\\b.h") + ">", fromA,
                              "l=33", "#include: <v.h>", "#include: [b.h]", "!<b.h>", fromB,
                              "!<" + at("\\inc\\b.h") + ">", fromB});
  std::string noneLines =
      lines({"#include: [none.h]", "!<none.h>", fromA, "!<" + at("\\none.h") + ">", fromA,
             "!<" + at("\\none.h") + ">", fromA, "!<" + at("\\inc\\none.h") + ">", fromA});
  EXPECT_EQ(run.out, lines({"n_I=2", "<" + at() + ">", "<" + at() + ">", "<" + at("\\inc") + ">",
                            "n_D=0", "!<" + at("\\a.c") + ">", "?<" + at() + ">", "l=81"}) +
                         bLines + noneLines + bLines + noneLines + bLines);
}

TEST_F(EndToEnd, CyclesAreRecognisedThroughOtherNames) {
  dir.write("real/h.h", "#include \"../link/h.h\"\n");
  ASSERT_EQ(symlink("real", (dir.path() + "/link").c_str()), 0);
  dir.write("a.c", "#include \"real/h.h\"\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"),
            "\n\n//--- #include \"real/h.h\"\n//--- #include \"../link/h.h\"\n"
            "//!!! INCLUDE CYCLE !!!\n");
}

TEST_F(EndToEnd, IncludesNestedTooDeepAreNotFollowed) {
  // 1.h includes 2.h and so on: the main source is depth 1, n.h is depth n + 1.
  const int files = 300;
  for (int n = 1; n <= files; ++n) {
    dir.write(std::to_string(n) + ".h", "#include \"" + std::to_string(n + 1) + ".h\"\n");
  }
  dir.write("a.c", "#include \"1.h\"\nend\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 2);
  std::string expected = "\n\n";
  for (int n = 1; n <= 256; ++n) expected += "//--- #include \"" + std::to_string(n) + ".h\"\n";
  expected += "!!! INCLUDE TOO DEEP !!!\nend\n";
  EXPECT_EQ(dir.read("out.c"), expected);
  // 255.h is 256 deep: its include line is shown but not searched.
  EXPECT_NE(run.out.find("#include: [255.h]\n!<255.h>\n"), std::string::npos);
  EXPECT_NE(run.out.find("#include: [256.h]\n"), std::string::npos);
  EXPECT_EQ(run.out.find("!<256.h>"), std::string::npos);
  EXPECT_NE(run.err.find(
                "255.h:1: warning: \"256.h\" is nested too deep; wrote !!! INCLUDE TOO DEEP !!!\n"),
            std::string::npos);
  EXPECT_NE(run.err.find("too deep were not expanded"), std::string::npos);
}

TEST_F(EndToEnd, TooLongNamesFindNoFile) {
  std::string name(40000, 'n');
  dir.write("a.c", "#include \"" + name + "\"\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"), "\n\n//--- #include \"" + name + "\"\n!!! NO FILE !!!\n");
  EXPECT_NE(run.out.find("#include: [" + name + "]\n!<" + name + ">\n"), std::string::npos);
}

TEST_F(EndToEnd, NeverOverwritesItsInputs) {
  dir.write("a.c", "#include \"out.c\"\n");
  dir.write("opts.txt", "/DX\n");
  dir.write("sub/keep", "");
  ToolRun asOptions = runTool({"opts.txt", "a.c", "./opts.txt"}, dir.path());
  EXPECT_EQ(asOptions.status, 1);
  EXPECT_EQ(dir.read("opts.txt"), "/DX\n");
  EXPECT_NE(asOptions.err.find("option file"), std::string::npos);
  ToolRun asSource = runTool({"opts.txt", "a.c", "sub/../a.c"}, dir.path());
  EXPECT_EQ(asSource.status, 1);
  EXPECT_EQ(dir.read("a.c"), "#include \"out.c\"\n");
  // Reached by an include, the output itself is not read; its text would be
  // missing from the output, which is left as it was.
  dir.write("out.c", "old\n");
  ToolRun run = runTool({"opts.txt", "a.c", "out.c"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("output file itself"), std::string::npos);
  EXPECT_EQ(dir.read("out.c"), "old\n");
}

TEST_F(EndToEnd, ArgumentsAndFilesThatStopTheRun) {
  ToolRun tooFew = runTool({"opts.txt", "a.c"}, dir.path());
  EXPECT_EQ(tooFew.status, 1);
  EXPECT_EQ(tooFew.out, "");
  EXPECT_NE(tooFew.err.find("usage"), std::string::npos);

  // The output is created last, once the inputs have been read and opened.
  dir.write("opts.txt", "");
  dir.write("a.c", "");
  ToolRun noOutputDirectory = runTool({"opts.txt", "a.c", "missing/out.c"}, dir.path());
  EXPECT_EQ(noOutputDirectory.status, 1);
  EXPECT_NE(noOutputDirectory.err.find("missing/out.c"), std::string::npos);

  ToolRun noOptions = runTool({"absent.txt", "a.c", "out.c"}, dir.path());
  EXPECT_EQ(noOptions.status, 1);
  EXPECT_EQ(noOptions.out, "");
  EXPECT_FALSE(dir.exists("out.c"));
  EXPECT_NE(noOptions.err.find("absent.txt"), std::string::npos);

  EXPECT_EQ(runTool({"--help"}, dir.path()).status, 0);
  ToolRun version = runTool({"--version"}, dir.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("tuflat ", 0), 0u);
}

TEST_F(EndToEnd, AMainSourceThatCannotBeOpenedStopsTheRun) {
  ToolRun run = flatten("/DA=1\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(dir.exists("out.c"));
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("main source 'a.c'"), std::string::npos);
}

TEST_F(EndToEnd, AFullDiskEndsWithStatusTwo) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  dir.write("a.c", "int a;\n");
  dir.write("opts.txt", "");
  ToolRun run = runTool({"opts.txt", "a.c", "/dev/full"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("could not be written"), std::string::npos);
}

TEST_F(EndToEnd, OptionFileDirectoriesAndDefinesInOrder) {
  dir.write("a.c", "#include \"x.h\"\n");
  dir.write("two/x.h", "two\n");
  dir.write("three/x.h", "three\n");
  ToolRun run = flatten(
      "# directories\r\n/Ione\r\n\r\n/Itwo/\r\n/Ithree\r\n"
      "/DA=B=C\r\n-Iignored\r\n/D X = 1\r\n/Dlast");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"),
            "#define A B=C\n#define  X   1\n#define last\n\n\n//--- #include \"x.h\"\ntwo\n");
  EXPECT_EQ(run.out.substr(0, run.out.find("n_D=")),
            lines({"n_I=4", "<" + at() + ">", "<" + at() + ">", "<" + at("\\one") + ">",
                   "<" + at("\\two\\") + ">", "<" + at("\\three") + ">"}));
}

}  // namespace
