// Diagnostics on standard error: `FILE:LINE: warning: TEXT` for includes not
// followed and for option-file lines that look like options but are ignored,
// their limit, and the flags that silence them or make them fail the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_tool.h"
#include "test_files.h"

namespace {

class Diagnostics : public ::testing::Test {
 protected:
  // A run with `flags` before `opts.txt a.c out.c`, in the scratch directory.
  ToolRun flatten(const std::vector<std::string>& flags, const std::string& options = "") {
    dir.write("opts.txt", options);
    std::vector<std::string> arguments = flags;
    arguments.insert(arguments.end(), {"opts.txt", "a.c", "out.c"});
    return runTool(arguments, dir.path());
  }
  static std::string notFound(const std::string& where, const std::string& name) {
    return where + ": warning: \"" + name + "\" not found; wrote !!! NO FILE !!!\n";
  }

  ScratchDirectory dir;
};

TEST_F(Diagnostics, AnIncludeNotFoundIsNamedByFileAndPhysicalLineOnEveryExpansion) {
  // CR LF, a CR that no LF follows and blank lines all end physical lines;
  // the angle include is only reported.
  dir.write("a.c",
            "// top\r\n\r\nx\ry\n#include \"missing.h\"\r\n#include <stdio.h>\n"
            "#include \"sub/h.h\"\n  #  include \"sub/h.h\" // again\n#include \"sub/h.h\"\n");
  // Its include line follows a comment over two lines. The run reads it again
  // the second time, and then replays that scan: every copy warns.
  dir.write("sub/h.h", "/* a\n   b */\n#include \"gone.h\"\n");
  std::string expected = notFound("a.c:5", "missing.h");
  for (int copy = 0; copy < 3; ++copy)
    expected += notFound(programSpelling("sub/h.h") + ":3", "gone.h");
  ToolRun run = flatten({});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, expected);
  std::string output = dir.read("out.c");

  ToolRun quiet = flatten({"--quiet"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, expected);
  // Silenced, they change nothing else.
  for (const char* flag : {"-w", "--no-warnings"}) {
    ToolRun silent = flatten({flag});
    EXPECT_EQ(silent.status, 0);
    EXPECT_EQ(silent.err, "");
    EXPECT_EQ(silent.out, run.out);
    EXPECT_EQ(dir.read("out.c"), output);
  }
}

TEST_F(Diagnostics, CyclesAndTheOutputItselfAreNamedToo) {
  dir.write("a.c", "#include \"b.h\"\n#include \"out.c\"\n");
  dir.write("b.h", "int b;\n#include \"a.c\"\n");
  // The output is known by the file that has its name before the run.
  dir.write("out.c", "");
  ToolRun run = flatten({});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "b.h:2: note: \"a.c\" is already being expanded; wrote //!!! INCLUDE CYCLE !!!\n"
            "a.c:2: warning: \"out.c\" is the output file itself; wrote !!! OUTPUT FILE !!!\n"
            "tuflat: the output file 'out.c' was left as it was\n"
            "tuflat: the output is incomplete: 1 include(s) named the output file itself, whose "
            "text is not in it\n");
}

TEST_F(Diagnostics, FilesAreNamedAsGivenOrFromTheCurrentDirectory) {
  // Run from w/: the main source as given, a header below w/ by its relative
  // path, one elsewhere by its full path.
  dir.write("a.c", "#include \"w/near.h\"\n#include \"inc/far.h\"\n#include \"none.h\"\n");
  dir.write("w/near.h", "#include \"x.h\"\n");
  dir.write("inc/far.h", "\n#include \"y.h\"\n");
  dir.write("opts.txt", "");
  ToolRun run = runTool({"../opts.txt", "../a.c", "out.c"}, dir.path() + "/w");
  EXPECT_EQ(run.status, 0);
  std::string far = dir.path() + "/inc/far.h";
  if (runsWindowsProgram()) far = programSpelling("Z:" + far);
  EXPECT_EQ(run.err, notFound("near.h:1", "x.h") + notFound(far + ":2", "y.h") +
                         notFound("../a.c:3", "none.h"));
}

TEST_F(Diagnostics, PastTwentyLinesOneSummaryCountsEveryKind) {
  std::string source = "#include \"b.h\"\n";
  for (int n = 1; n <= 22; ++n) source += "#include \"m" + std::to_string(n) + ".h\"\n";
  dir.write("a.c", source);
  dir.write("b.h", "#include \"a.c\"\n");
  ToolRun run = flatten({}, "-Ia\n");
  EXPECT_EQ(run.status, 0);
  std::string expected =
      "opts.txt:1: warning: a line that begins with -I is ignored; options begin "
      "with /I\nb.h:1: note: \"a.c\" is already being expanded; wrote //!!! "
      "INCLUDE CYCLE !!!\n";
  for (int n = 1; n <= 18; ++n) {
    expected += notFound("a.c:" + std::to_string(n + 1), "m" + std::to_string(n) + ".h");
  }
  expected +=
      "tuflat: 4 more warning(s) and note(s) not shown; in all: 22 include(s) not found, 1 include "
      "cycle(s), 1 option line(s) ignored\n";
  EXPECT_EQ(run.err, expected);
}

TEST_F(Diagnostics, StrictFailsOnlyWhereAMarkerTookAnIncludesPlace) {
  // Angle includes and names left out are not searched: they never fail it.
  dir.write("a.c", "#include <stdio.h>\n#include \"gen/x.h\"\nint a;\n");
  ToolRun clean = flatten({"--strict", "--no-expand", "gen/*"});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.err, "");

  dir.write("a.c", "#include \"gone.h\"\nint a;\n");
  ToolRun loose = flatten({});
  std::string output = dir.read("out.c");
  EXPECT_EQ(output, "\n\n//--- #include \"gone.h\"\n!!! NO FILE !!!\nint a;\n");
  const std::string failure =
      "tuflat: --strict: 1 include(s) found no file and were written !!! NO FILE !!!\n";
  ToolRun strict = flatten({"--strict"});
  EXPECT_EQ(strict.status, 2);
  EXPECT_EQ(strict.out, loose.out);
  EXPECT_EQ(strict.err, notFound("a.c:1", "gone.h") + failure);
  // The output is still written whole.
  EXPECT_EQ(dir.read("out.c"), output);
  ToolRun silent = flatten({"--strict", "-w"});
  EXPECT_EQ(silent.status, 2);
  EXPECT_EQ(silent.err, failure);
}

TEST_F(Diagnostics, OptionLinesThatLookLikeOptionsButAreIgnoredAreNamed) {
  dir.write("a.c", "int a;\n");
  const std::string options =
      "# options\r\n"         // 1
      "/Iinc # headers\r\n"   // 2: an option
      "-Iinc\r\n"             // 3
      "/iinc\r\n"             // 4
      "/dX\r\n"               // 5
      "\t/Iinc\r\n"           // 6
      "\r\n"                  // 7
      "   # indented note\n"  // 8: swallows line 11
      "\n"                    // 9
      "# plain note\n"        // 10
      "/Iafter\n"             // 11
      "/I inc\n"              // 12: an option, for a directory ` inc`
      "/D Z\n"                // 13: an option, for `#define  Z`
      "/DY\n"                 // 14: an option
      "-x\n"                  // 15: nothing like /I or /D
      "-DW=1";                // 16
  ToolRun run = flatten({}, options);
  EXPECT_EQ(run.status, 0);
  const std::string warning = ": warning: ";
  EXPECT_EQ(
      run.err,
      "opts.txt:3" + warning + "a line that begins with -I is ignored; options begin with /I\n" +
          "opts.txt:4" + warning +
          "a line that begins with /i is ignored; options begin with /I, in upper case\n" +
          "opts.txt:5" + warning +
          "a line that begins with /d is ignored; options begin with /D, in upper case\n" +
          "opts.txt:6" + warning +
          "an indented /I line is ignored; options begin in the first column\n" + "opts.txt:11" +
          warning +
          "this /I line is ignored: the indented comment on line 8 leaves a space at its start; "
          "begin comment lines in the first column\n" +
          "opts.txt:12" + warning +
          "a space follows /I and is taken as the start of the directory's name\n" + "opts.txt:13" +
          warning + "a space follows /D and is taken as the start of the definition\n" +
          "opts.txt:16" + warning +
          "a line that begins with -D is ignored; options begin with /D\n");
  // The file is read as ever: two directories, two definitions.
  EXPECT_EQ(run.out.rfind("n_I=3\n", 0), 0u);
  EXPECT_NE(run.out.find("\nn_D=2\n"), std::string::npos);
  EXPECT_EQ(dir.read("out.c"), "#define  Z\n#define Y\n\n\nint a;\n");

  ToolRun silent = flatten({"-w"}, options);
  EXPECT_EQ(silent.err, "");
  EXPECT_EQ(silent.out, run.out);
  // Lines given as flags are not the file's.
  ToolRun fromFlags = flatten({"-I", "inc", "-DV"}, "/Ia\n");
  EXPECT_EQ(fromFlags.status, 0);
  EXPECT_EQ(fromFlags.err, "");
}

}  // namespace
