// The flags, one group of cases per flag: exact output files, progress
// lines, dependency files and statuses, on the program as a user runs it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "run_tool.h"
#include "test_files.h"

namespace {

class Flags : public ::testing::Test {
 protected:
  // A run with `flags` before the three names `opts.txt a.c out.c`.
  ToolRun flatten(const std::vector<std::string>& flags, const std::string& options = "") {
    dir.write("opts.txt", options);
    std::vector<std::string> arguments = flags;
    arguments.insert(arguments.end(), {"opts.txt", "a.c", "out.c"});
    return runTool(arguments, dir.path());
  }
  // The output of a run that must succeed.
  std::string flattened(const std::vector<std::string>& flags, const std::string& options = "") {
    EXPECT_EQ(flatten(flags, options).status, 0);
    return dir.read("out.c");
  }
  std::string at(const std::string& rest = "") const { return dir.shown() + rest; }
  // A file's path in the platform's own spelling, as editors take it.
  std::string native(const std::string& relative) const {
    return programSpelling((runsWindowsProgram() ? "Z:" : "") + dir.path() + "/" + relative);
  }
  // `#line N "PATH"` for a file, its path as given (relative, unless
  // `absolute`) escaped as in a C string.
  std::string line(int number, const std::string& relative, bool absolute = false) const {
    std::string escaped;
    for (char c : absolute ? native(relative) : programSpelling(relative)) {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c;
    }
    return "#line " + std::to_string(number) + " \"" + escaped + "\"\n";
  }
  // The progress lines of a file found by a search from a.c: its name, then
  // every slot tried up to the one that holds it, whose name ends the list.
  std::string searched(const std::string& name, const std::vector<std::string>& tried) const {
    std::string from = "?<" + at("\\a.c\\..") + ">\n";
    std::string text = "#include: [" + name + "]\n!<" + name + ">\n" + from;
    for (const std::string& path : tried) text += "!<" + at(path) + ">\n" + from;
    return text;
  }

  ScratchDirectory dir;
};

// Where the C++ compiler that built the tests can check that a flattened
// file still compiles.
bool compiles(const std::string& path) {
  std::string command = std::string(TUFLAT_TEST_CXX) + " -fsyntax-only -x c++ '" + path + "'";
  return system(command.c_str()) == 0;
}

// The number of times `part` occurs in `text`.
size_t occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(Flags, CommandLineFlagsEndAtTwoDashes) {
  dir.write("a.c", "int a;\n");
  ToolRun plain = flatten({});
  ToolRun ended = flatten({"--"});
  EXPECT_EQ(ended.status, 0);
  EXPECT_EQ(ended.out, plain.out);
  EXPECT_EQ(dir.read("out.c"), "\n\nint a;\n");

  // After `--`, names that look like flags are names; later arguments are
  // ignored, each with a warning.
  dir.write("--once", "/DX\n");
  ToolRun named = runTool({"--", "--once", "a.c", "out.c", "--bogus"}, dir.path());
  EXPECT_EQ(named.status, 0);
  EXPECT_EQ(named.err, "tuflat: warning: the argument '--bogus' after OUTPUT is ignored\n");
  EXPECT_EQ(dir.read("out.c"), "#define X\n\n\nint a;\n");

  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"--bogus", "opts.txt", "a.c", "new.c"},
                                             {"-x", "opts.txt", "a.c", "new.c"},
                                             {"--once", "opts.txt", "a.c"},
                                             {"--no-expand"}}) {
    ToolRun run = runTool(wrong, dir.path());
    EXPECT_EQ(run.status, 1) << wrong[0];
    EXPECT_EQ(run.out, "") << wrong[0];
    EXPECT_NE(run.err.find("usage: tuflat [FLAGS] OPTIONS SOURCE OUTPUT\n"), std::string::npos)
        << wrong[0];
  }
  // A flag after the names counts: one without its value stops the run.
  EXPECT_EQ(runTool({"opts.txt", "a.c", "new.c", "--deps"}, dir.path()).status, 1);
  EXPECT_NE(runTool({"--bogus", "o", "a.c", "b.c"}, dir.path()).err.find("--bogus"),
            std::string::npos);
  EXPECT_FALSE(dir.exists("new.c")) << "a run that cannot start creates nothing";

  // Help and version are flags like any other.
  ToolRun help = runTool({"--once", "--help", "opts.txt", "a.c", "new.c"}, dir.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: tuflat [FLAGS] OPTIONS SOURCE OUTPUT\n", 0), 0u);
  EXPECT_NE(help.out.find("once-skip=<path>"), std::string::npos);
  EXPECT_EQ(runTool({"-I", "x", "-V"}, dir.path()).out.rfind("tuflat ", 0), 0u);
  EXPECT_FALSE(dir.exists("new.c"));
}

TEST_F(Flags, IncludeDirectoriesAndDefinitionsFollowTheOptionFiles) {
  dir.write("a.c", "#include \"b.h\"\n");
  dir.write("inc/b.h", "b\n");
  dir.write("more/keep", "");
  // `-D Y` defines Y as 1, as compilers take it.
  ToolRun fromFile = flatten({}, "/DFIRST\n/Iinc\n/DX=1\n/Imore\n/DY=1\n");
  std::string output = dir.read("out.c");
  EXPECT_EQ(output, "#define FIRST\n#define X 1\n#define Y 1\n\n\n//--- #include \"b.h\"\nb\n");
  // The option file without a final LF: the flags still start lines of their own.
  ToolRun fromFlags = flatten({"-I", "inc", "-DX=1", "-Imore", "-D", "Y"}, "/DFIRST");
  EXPECT_EQ(fromFlags.status, 0);
  EXPECT_EQ(fromFlags.out, fromFile.out);
  EXPECT_EQ(dir.read("out.c"), output);
}

TEST_F(Flags, QuietLeavesOutTheProgressOnly) {
  dir.write("a.c", "#include \"b.h\"\n#include <s.h>\n");
  dir.write("b.h", "b\n");
  ToolRun run = flatten({"--quiet"}, "/DX\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir.read("out.c"), "#define X\n\n\n//--- #include \"b.h\"\nb\n#include <s.h>\n");
  if (!runsWindowsProgram()) {
    // An output sent to standard output is not progress.
    ToolRun toStandardOutput = runTool({"--quiet", "opts.txt", "a.c", "/dev/stdout"}, dir.path());
    EXPECT_EQ(toStandardOutput.status, 0);
    EXPECT_EQ(toStandardOutput.out, "#define X\n\n\n//--- #include \"b.h\"\nb\n#include <s.h>\n");
  }
}

TEST_F(Flags, OnceSkipsAGuardedFileOnlyAfterAnUnconditionalCopy) {
  // A first copy inside a conditional block does not stop a later one from
  // being skipped once an unconditional copy has been written.
  dir.write("g.h", "// g\n#ifndef G_H\n#define G_H\nint g = 1;\n#endif  // G_H\n");
  dir.write("a.c",
            "#ifdef NEVER\n"
            "#include \"g.h\"\n"
            "#endif\n"
            "#include \"g.h\"\n"
            "#include \"g.h\"\n"
            "int a = g;\n");
  ToolRun run = flatten({"--once"});
  EXPECT_EQ(run.status, 0);
  std::string g = "// g\n#ifndef G_H\n#define G_H\nint g = 1;\n#endif  // G_H\n";
  EXPECT_EQ(dir.read("out.c"), "\n\n#ifdef NEVER\n//--- #include \"g.h\"\n" + g +
                                   "#endif\n//--- #include \"g.h\"\n" + g +
                                   "//--- #include \"g.h\"\nint a = g;\n");
  // The skipped file is found as always, then named on a line of its own.
  EXPECT_NE(run.out.find(searched("g.h", {"\\g.h"}) + "once-skip=<" + at("\\g.h") + ">\n"),
            std::string::npos);
  EXPECT_TRUE(compiles(dir.path() + "/out.c"));
}

TEST_F(Flags, OnceWrapsEveryCopyOfAPragmaOnceFileInAGuardOfItsOwn) {
  dir.write("p.h", "#pragma once\nint p = 1;\n");
  dir.write("q.h", "  #  pragma   once // q\n#include \"p.h\"\nint q = p;\n");
  dir.write("a.c",
            "#pragma once\n"
            "#if 0\n"
            "#include \"p.h\"\n"
            "#endif\n"
            "#include \"q.h\"\n"
            "#include \"p.h\"\n"
            "#include \"q.h\"\n"
            "int a = p + q;\n");
  // The pragma's words become the definition; the main source keeps its own.
  std::string p = "#ifndef TUFLAT_ONCE_1_\n#define TUFLAT_ONCE_1_\nint p = 1;\n#endif\n";
  EXPECT_EQ(flattened({"--once"}),
            "\n\n#pragma once\n#if 0\n//--- #include \"p.h\"\n" + p +
                "#endif\n//--- #include \"q.h\"\n#ifndef TUFLAT_ONCE_2_\n"
                "  #  define TUFLAT_ONCE_2_ // q\n//--- #include \"p.h\"\n" +
                p + "int q = p;\n#endif\n//--- #include \"p.h\"\n//--- #include \"q.h\"\n" +
                "int a = p + q;\n");
  EXPECT_TRUE(compiles(dir.path() + "/out.c"));
}

TEST_F(Flags, OnceTakesAFilesGuardAsEnteredOnlyWhenItsMacroIsSurelyUndefined) {
  // x.h is skipped at the last include only when the include inside a.h
  // counts as read: when a.h's guard is surely entered.
  dir.write("x.h", "#ifndef X_H\n#define X_H\nint x;\n#endif\n");
  dir.write("a.h", "#ifndef A_H\n#define A_H\n#include \"x.h\"\n#endif\n");
  dir.write("_a.h", "#ifndef _A_H\n#define _A_H\n#include \"x.h\"\n#endif\n");
  auto copiesOfX = [&](const std::string& main, const std::string& options) {
    dir.write("a.c", main + "#include \"x.h\"\n");
    return occurrences(flattened({"--once"}, options), "int x;");
  };
  EXPECT_EQ(copiesOfX("#include \"a.h\"\n", ""), 1u);
  // Defined before, by hand, by the option file, or perhaps by a header the
  // tool does not read: a system header (reserved names only), a missing one
  // or one left out by a pattern.
  EXPECT_EQ(copiesOfX("#define A_H\n#include \"a.h\"\n", ""), 2u);
  EXPECT_EQ(copiesOfX("#include \"a.h\"\n", "/DA_H\n"), 2u);
  EXPECT_EQ(copiesOfX("#include <s.h>\n#include \"_a.h\"\n", ""), 2u);
  EXPECT_EQ(copiesOfX("#include <s.h>\n#include \"a.h\"\n", ""), 1u);
  EXPECT_EQ(copiesOfX("#include \"none.h\"\n#include \"a.h\"\n", ""), 2u);
  EXPECT_EQ(copiesOfX("#if 0\n#include \"none.h\"\n#endif\n#include \"a.h\"\n", ""), 1u);
  EXPECT_EQ(copiesOfX("#define M \"a.h\"\n#include M\n#include \"a.h\"\n", ""), 2u);
  // A copy after the first: its guard's macro is defined by then.
  EXPECT_EQ(copiesOfX("#if 1\n#include \"a.h\"\n#endif\n#undef X_H\n#include \"a.h\"\n", ""), 3u);
}

TEST_F(Flags, OnceKeepsEveryPragmaWhereTheCompilerMeetsIt) {
  dir.write("m.h", "#ifdef _MSC_VER\n#pragma once\n#endif\nextern int m;\n");
  dir.write("o.h", "_Pragma(\"once\") int o;\n");
  dir.write("t.h", "#pragma once /* two\nlines */\nint t;\n");
  dir.write("a.c",
            "#include \"m.h\"\n#include \"m.h\"\n#include \"o.h\"\n#include \"o.h\"\n"
            "#include \"t.h\"\n#include \"t.h\"\n");
  std::string m =
      "//--- #include \"m.h\"\n#ifndef TUFLAT_ONCE_1_\n#ifdef _MSC_VER\n#define TUFLAT_ONCE_1_\n"
      "#endif\nextern int m;\n#endif\n";
  EXPECT_EQ(
      flattened({"--once"}),
      "\n\n" + m + m +
          "//--- #include \"o.h\"\n#ifndef TUFLAT_ONCE_2_\n int o;\n#define TUFLAT_ONCE_2_\n"
          "#endif\n//--- #include \"o.h\"\n//--- #include \"t.h\"\n#ifndef TUFLAT_ONCE_3_\n"
          "#define TUFLAT_ONCE_3_ /* two\nlines */\nint t;\n#endif\n//--- #include \"t.h\"\n");
  EXPECT_TRUE(compiles(dir.path() + "/out.c"));
}

TEST_F(Flags, OnceForgetsAGuardAtPopMacroAndEveryGuardAtAnUndefItCannotRead) {
  dir.write("g.h", "#ifndef G\n#define G\nint g;\n#endif\n");
  auto copiesOfG = [&](const std::string& between) {
    dir.write("a.c", "#include \"g.h\"\n" + between + "#include \"g.h\"\n");
    return occurrences(flattened({"--once"}), "int g;");
  };
  EXPECT_EQ(copiesOfG("#undef H\n"), 1u);
  EXPECT_EQ(copiesOfG("#pragma pop_macro(\"G\")\n"), 2u);
  EXPECT_EQ(copiesOfG("_Pragma(\"pop_macro(\\\"G\\\")\")\n"), 2u);
  EXPECT_EQ(copiesOfG("#undef \\\nH\n"), 1u);
  EXPECT_EQ(copiesOfG("#undef X\\\nG\n"), 2u);
}

TEST_F(Flags, OnceCountsConditionalsAlongTheChainOfFiles) {
  // c.h's first copy stands inside b.h's #if, so it is not yet safe to drop;
  // d.h's stands inside b.h's own guard only, which does not count.
  dir.write("b.h",
            "#if !defined(B_H)\n#define B_H\n#include \"d.h\"\n#if X\n#include \"c.h\"\n#endif\n"
            "#endif\n");
  dir.write("c.h", "#if !defined C_H\n#define C_H\nint c;\n#endif\n");
  dir.write("d.h", "#ifndef D_H\n#define D_H\nint d;\n#endif\n");
  dir.write("a.c", "#include \"b.h\"\n#include \"c.h\"\n#include \"d.h\"\n#include \"c.h\"\n");
  std::string c = "#if !defined C_H\n#define C_H\nint c;\n#endif\n";
  EXPECT_EQ(flattened({"--once"}),
            "\n\n//--- #include \"b.h\"\n#if !defined(B_H)\n#define B_H\n//--- #include \"d.h\"\n"
            "#ifndef D_H\n#define D_H\nint d;\n#endif\n#if X\n//--- #include \"c.h\"\n" +
                c + "#endif\n#endif\n//--- #include \"c.h\"\n" + c +
                "//--- #include \"d.h\"\n//--- #include \"c.h\"\n");
}

TEST_F(Flags, OnceExpandsAgainAfterAnUndefAndWhatIsNotOneGuardBlock) {
  dir.write("g.h", "#ifndef G\n#define G\nint g;\n#endif\n");
  dir.write("after.h", "#ifndef AFTER\n#define AFTER\n#endif\nint after;\n");
  dir.write("before.h", "int before;\n#ifndef BEFORE\n#define BEFORE\n#endif\n");
  dir.write("other.h", "#ifndef OTHER\n#define OTHER\n#else\nint other;\n#endif\n");
  dir.write("mismatch.h", "#ifndef M1\n#define M2\n#endif\n");
  dir.write("a.c",
            "#include \"g.h\"\n#include \"g.h\"\n#undef G\n#include \"g.h\"\n#include \"g.h\"\n"
            "#include \"after.h\"\n#include \"after.h\"\n#include \"before.h\"\n"
            "#include \"before.h\"\n#include \"other.h\"\n#include \"other.h\"\n"
            "#include \"mismatch.h\"\n#include \"mismatch.h\"\n");
  std::string g = "#ifndef G\n#define G\nint g;\n#endif\n";
  auto twice = [&](const std::string& name) {
    std::string text = "//--- #include \"" + name + "\"\n" + dir.read(name);
    return text + text;
  };
  EXPECT_EQ(flattened({"--once"}), "\n\n//--- #include \"g.h\"\n" + g + "//--- #include \"g.h\"\n" +
                                       "#undef G\n//--- #include \"g.h\"\n" + g +
                                       "//--- #include \"g.h\"\n" + twice("after.h") +
                                       twice("before.h") + twice("other.h") + twice("mismatch.h"));
}

TEST_F(Flags, LineDirectivesNameEveryFileAndTheIncludersNextLine) {
  dir.write("a.c", "one\r\n#include \"b.h\"\r\nthree\n#include \"none.h\"\nfive\n");
  dir.write("sub/b.h", "b1\n#include \"c.h\"\nb3");
  dir.write("sub/c.h", "c\n");
  EXPECT_EQ(flattened({"--line-directives"}, "/Isub\n"),
            "\n\n" + line(1, "a.c") + "one\n//--- #include \"b.h\"\n" + line(1, "sub/b.h") +
                "b1\n//--- #include \"c.h\"\n" + line(1, "sub/c.h") + "c\n" + line(3, "sub/b.h") +
                "b3\n" + line(3, "a.c") + "three\n//--- #include \"none.h\"\n" +
                "!!! NO FILE !!!\n" + line(5, "a.c") + "five\n");
}

TEST_F(Flags, LineDirectivesFollowTheBlocksThatHoldInsertedText) {
  // A compiler ignores #line in a block it skips: the lines after the
  // block's #else, #elif or #endif are numbered again. Blocks without
  // inserted text, and the file's own guard, need nothing.
  dir.write("b.h", "#ifndef B_H\n#define B_H\n#if X\n#endif\n#include \"c.h\"\n#endif\n");
  dir.write("c.h", "c\n");
  dir.write("a.c",
            "#if A\n#if B\n#include \"c.h\"\n#endif\nq\n#elif C\nr\n#endif\n"
            "#ifdef X\n#else\n#endif\n#include \"b.h\"\nend\n");
  std::string c = line(1, "c.h") + "c\n";
  EXPECT_EQ(flattened({"--line-directives"}),
            "\n\n" + line(1, "a.c") + "#if A\n#if B\n//--- #include \"c.h\"\n" + c +
                line(4, "a.c") + "#endif\n" + line(5, "a.c") + "q\n#elif C\n" + line(7, "a.c") +
                "r\n#endif\n" + line(9, "a.c") +
                "#ifdef X\n#else\n#endif\n//--- #include \"b.h\"\n" + line(1, "b.h") +
                "#ifndef B_H\n#define B_H\n#if X\n#endif\n//--- #include \"c.h\"\n" + c +
                line(6, "b.h") + "#endif\n" + line(13, "a.c") + "end\n");
}

TEST_F(Flags, LineDirectivePathsAreEscapedAsCStrings) {
  // Windows forbids a quote in a name; its backslashes are escaped above.
  if (runsWindowsProgram()) GTEST_SKIP() << "a name with a quote needs Linux";
  dir.write("q\"d/b.h", "b\n");
  dir.write("a.c", "#include \"b.h\"\n");
  EXPECT_EQ(flattened({"--line-directives"}, "/Iq\"d\n"),
            "\n\n" + line(1, "a.c") + "//--- #include \"b.h\"\n#line 1 \"q\\\"d/b.h\"\nb\n" +
                line(2, "a.c"));
}

TEST_F(Flags, LineDirectivePathsAreRelativeBelowTheCurrentDirectoryOnly) {
  // A shared repro names its files as the sender's build did, not by the
  // sender's home directory; `=absolute` keeps every full path.
  dir.write("w/a.c", "#include \"b.h\"\n");
  dir.write("w/opts.txt", "/I../inc\n");
  dir.write("inc/b.h", "b\n");
  std::string tail = "//--- #include \"b.h\"\n" + line(1, "inc/b.h", true) + "b\n";
  for (bool absolute : {false, true}) {
    std::string flag = absolute ? "--line-directives=absolute" : "--line-directives";
    EXPECT_EQ(runTool({flag, "opts.txt", "a.c", "out.c"}, dir.path() + "/w").status, 0);
    EXPECT_EQ(dir.read("w/out.c"), "\n\n" + line(1, absolute ? "w/a.c" : "a.c", absolute) + tail +
                                       line(2, absolute ? "w/a.c" : "a.c", absolute))
        << flag;
  }
}

TEST_F(Flags, LineDirectivesWorkWithOnce) {
  dir.write("a.c", "#include \"p.h\"\n#include \"p.h\"\nend\n");
  dir.write("p.h", "#pragma once\np\n");
  EXPECT_EQ(flattened({"--once", "--line-directives"}),
            "\n\n" + line(1, "a.c") + "//--- #include \"p.h\"\n" + "#ifndef TUFLAT_ONCE_1_\n" +
                line(1, "p.h") + "#define TUFLAT_ONCE_1_\np\n#endif\n" + line(2, "a.c") +
                "//--- #include \"p.h\"\n" + line(3, "a.c") + "end\n");
}

TEST_F(Flags, LineDirectivesContinueTheNumbersOfTheSourcesOwnLineDirectives) {
  dir.write("x.h", "x\n");
  dir.write("a.c",
            "#line 100 \"gram.y\"\n#include \"x.h\"\nb\n#line 7\n#include \"x.h\"\nc\rd\n"
            "#include \"x.h\"\n");
  std::string x = line(1, "x.h") + "x\n";
  EXPECT_EQ(flattened({"--line-directives"}),
            "\n\n" + line(1, "a.c") + "#line 100 \"gram.y\"\n//--- #include \"x.h\"\n" + x +
                "#line 101 \"gram.y\"\nb\n#line 7\n//--- #include \"x.h\"\n" + x +
                "#line 8 \"gram.y\"\nc\rd\n//--- #include \"x.h\"\n" + x + "#line 11 \"gram.y\"\n");
}

TEST_F(Flags, DependencyFileListsEveryFileReadOnceWithEmptyRulesForHeaders) {
  dir.write("a.c", "#include \"sp ace.h\"\n#include \"d$#.h\"\n#include \"sp ace.h\"\n");
  dir.write("sp ace.h", "#include \"d$#.h\"\n");
  dir.write("d$#.h", "");
  ToolRun run = flatten({"--deps", "out.d"});
  EXPECT_EQ(run.status, 0);
  auto make = [&](const std::string& relative) {
    std::string escaped;
    for (char c : native(relative)) {
      if (c == ' ' || c == '#') escaped += '\\';
      if (c == '$') escaped += '$';
      escaped += c;
    }
    return escaped;
  };
  EXPECT_EQ(dir.read("out.d"), "out.c: \\\n  " + make("opts.txt") + " \\\n  " + make("a.c") +
                                   " \\\n  " + make("sp ace.h") + " \\\n  " + make("d$#.h") +
                                   "\n\n" + make("sp ace.h") + ":\n\n" + make("d$#.h") + ":\n");

  // Written after a run whose output is incomplete, not after one that cannot start.
  dir.write("a.c", "#include \"out.c\"\n");
  EXPECT_EQ(flatten({"--deps", "two.d"}).status, 2);
  EXPECT_EQ(dir.read("two.d"), "out.c: \\\n  " + make("opts.txt") + " \\\n  " + make("a.c") + "\n");
  EXPECT_EQ(runTool({"--deps", "one.d", "opts.txt", "none.c", "out.c"}, dir.path()).status, 1);
  EXPECT_FALSE(dir.exists("one.d"));
}

TEST_F(Flags, ExpandAngleLooksInTheIncludeDirectoriesOnly) {
  dir.write("a.c", "#include <s.h>\n#include <here.h>\n#include <none.h>\n");
  dir.write("inc/s.h", "#include <t.h>\ns\n");
  dir.write("inc/t.h", "t\n");
  dir.write("here.h", "here\n");
  ToolRun run = flatten({"--expand-angle"}, "/Iinc\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"),
            "\n\n//--- #include <s.h>\n//--- #include <t.h>\nt\ns\n#include <here.h>\n"
            "#include <none.h>\n");
  std::string from = "?<" + at("\\a.c\\..") + ">\n";
  EXPECT_NE(run.out.find("#include: <s.h>\n!<s.h>\n" + from + "!<" + at("\\inc\\s.h") + ">\n" +
                         from + "l=17\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("#include: <here.h>\n!<here.h>\n" + from + "!<" + at("\\inc\\here.h") +
                         ">\n" + from + "#include: <none.h>\n"),
            std::string::npos);
  // A name left out is not looked for.
  ToolRun leftOut = flatten({"--expand-angle", "--no-expand", "s.?"}, "/Iinc\n");
  EXPECT_EQ(dir.read("out.c"), "\n\n#include <s.h>\n#include <here.h>\n#include <none.h>\n");
  EXPECT_EQ(leftOut.out.find("!<s.h>"), std::string::npos);
}

TEST_F(Flags, AnAngleIncludeFoundTooDeepIsMarkedAndCounted) {
  // n.h includes <n+1.h> up to 300.h: the main source is depth 1.
  for (int n = 1; n <= 300; ++n) {
    dir.write("inc/" + std::to_string(n) + ".h", "#include <" + std::to_string(n + 1) + ".h>\n");
  }
  dir.write("a.c", "#include <1.h>\nend\n");
  ToolRun run = flatten({"--expand-angle"}, "/Iinc\n");
  EXPECT_EQ(run.status, 2);
  std::string expected = "\n\n";
  for (int n = 1; n <= 256; ++n) expected += "//--- #include <" + std::to_string(n) + ".h>\n";
  EXPECT_EQ(dir.read("out.c"), expected + "!!! INCLUDE TOO DEEP !!!\nend\n");
  // Named by its delimiters, as written.
  std::string file = runsWindowsProgram() ? "inc\\255.h" : "inc/255.h";
  EXPECT_NE(run.err.find(file + ":1: warning: <256.h> is nested too deep; wrote !!! INCLUDE TOO "
                                "DEEP !!!\n"),
            std::string::npos);
  EXPECT_NE(run.err.find("1 include(s) nested too deep were not expanded"), std::string::npos);
}

TEST_F(Flags, NoExpandCopiesMatchingNamesUnfollowed) {
  dir.write("a.c",
            "#include \"gen/x.h\"\n#include \"gen\\y.h\"\n#include \"ab.h\"\n"
            "#include \"abc.h\"\n#include \"keep.h\"\n");
  dir.write("keep.h", "k\n");
  dir.write("ab.h", "ab\n");
  dir.write("abc.h", "abc\n");
  ToolRun run = flatten({"--no-expand", "gen\\*", "--no-expand", "a?c.h"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"),
            "\n\n#include \"gen/x.h\"\n#include \"gen\\y.h\"\n//--- #include \"ab.h\"\nab\n"
            "#include \"abc.h\"\n//--- #include \"keep.h\"\nk\n");
  // Reported, never searched for.
  EXPECT_NE(run.out.find("\n#include: [gen/x.h]\n#include: [gen\\y.h]\n#include: [ab.h]\n"),
            std::string::npos);
  EXPECT_EQ(run.out.find("!<abc.h>"), std::string::npos);
}

TEST_F(Flags, AnIncludeThatRunsOnIsWrittenWholeInEveryMode) {
  dir.write("inc/s.h", "s\n");
  dir.write("a.c", "#include \"s.h\" /* a\nb */ \\\nc\nfour\n");
  EXPECT_EQ(flattened({"--line-directives"}, "/Iinc\n"),
            "\n\n" + line(1, "a.c") + "//--- #include \"s.h\" /* a\n//--- b */ \\\n//--- c\n" +
                line(1, "inc/s.h") + "s\n" + line(4, "a.c") + "four\n");
  // Found, an angle include's lines are commented; not found or left out,
  // they are copied as they stand.
  dir.write(
      "a.c",
      "#include <s.h> /* a\r\nb */\n#include <none.h> \\\r\nc\n#include \"gen/x.h\" /*\r\n*/\n");
  EXPECT_EQ(flattened({"--expand-angle", "--no-expand", "gen/*"}, "/Iinc\n"),
            "\n\n//--- #include <s.h> /* a\n//--- b */\ns\n#include <none.h> \\\nc\n"
            "#include \"gen/x.h\" /*\n*/\n");
  // A skipped include's lines are all written too.
  dir.write("g.h", "#ifndef G\n#define G\n#endif\n");
  dir.write("a.c", "#include \"g.h\" \\\n\n#include \"g.h\" // \\\nx\n");
  EXPECT_EQ(flattened({"--once"}),
            "\n\n//--- #include \"g.h\" \\\n//--- \n#ifndef G\n#define G\n"
            "#endif\n//--- #include \"g.h\" // \\\n//--- x\n");
}

// A file met again is served from the run's memory of paths, bytes and
// searches, and from its third expansion on its recorded scan may stand for a
// new one. Each mode must come out as if every file were read and scanned
// afresh.

TEST_F(Flags, RepeatsInOnceKeepCountingConditionals) {
  // Every copy of u.h holds g.h inside an #if, so only the first top-level
  // include makes g.h safe to drop.
  dir.write("g.h", "#ifndef G\n#define G\nint g;\n#endif\n");
  dir.write("u.h", "#if A\n#include \"g.h\"\n#endif\n");
  dir.write("a.c",
            "#include \"u.h\"\n#include \"u.h\"\n#include \"u.h\"\n#include \"u.h\"\n"
            "#include \"g.h\"\n#include \"g.h\"\n");
  ToolRun run = flatten({"--once"});
  EXPECT_EQ(run.status, 0);
  std::string g = "#ifndef G\n#define G\nint g;\n#endif\n";
  std::string u = "//--- #include \"u.h\"\n#if A\n//--- #include \"g.h\"\n" + g + "#endif\n";
  EXPECT_EQ(dir.read("out.c"),
            "\n\n" + u + u + u + u + "//--- #include \"g.h\"\n" + g + "//--- #include \"g.h\"\n");
  EXPECT_EQ(occurrences(run.out, "once-skip="), 1u);
}

TEST_F(Flags, RepeatsInLineDirectivesNumberEveryCopy) {
  dir.write("c.h", "c1\n#include \"d.h\"\nc3\n");
  dir.write("d.h", "d\n");
  dir.write("a.c", "#include \"c.h\"\n#include \"c.h\"\n#include \"c.h\"\nend\n");
  std::string expected = "\n\n" + line(1, "a.c");
  for (int next = 2; next <= 4; ++next) {
    expected += "//--- #include \"c.h\"\n" + line(1, "c.h") + "c1\n//--- #include \"d.h\"\n" +
                line(1, "d.h") + "d\n" + line(3, "c.h") + "c3\n" + line(next, "a.c");
  }
  EXPECT_EQ(flattened({"--line-directives"}), expected + "end\n");
}

TEST_F(Flags, RepeatsInExpandAngleAndNoExpandFollowAndReportEveryCopy) {
  dir.write("inc/t.h", "t\n");
  dir.write("s.h", "#include <t.h>\n#include \"gen/x.h\"\ns\n");
  dir.write("a.c", "#include \"s.h\"\n#include \"s.h\"\n#include \"s.h\"\n#include \"s.h\"\n");
  ToolRun run = flatten({"--expand-angle", "--no-expand", "gen/*"}, "/Iinc\n");
  EXPECT_EQ(run.status, 0);
  std::string s = "//--- #include \"s.h\"\n//--- #include <t.h>\nt\n#include \"gen/x.h\"\ns\n";
  EXPECT_EQ(dir.read("out.c"), "\n\n" + s + s + s + s);
  EXPECT_EQ(occurrences(run.out, "#include: <t.h>\n!<t.h>\n"), 4u);
  EXPECT_EQ(occurrences(run.out, "!<" + at("\\inc\\t.h") + ">\n"), 4u);
  EXPECT_EQ(occurrences(run.out, "#include: [gen/x.h]\n"), 4u);
}

TEST_F(Flags, RepeatsInQuietAndDepsPrintNothingAndListEveryFile) {
  dir.write("inc2/h.h", "h\n");
  std::string a;
  for (int copy = 0; copy < 4; ++copy) a += "#include \"h.h\"\n#include \"none.h\"\n";
  dir.write("a.c", a);
  std::string copies;
  for (int copy = 0; copy < 4; ++copy) {
    copies += "//--- #include \"h.h\"\nh\n//--- #include \"none.h\"\n!!! NO FILE !!!\n";
  }
  dir.write("opts.txt", "/Iinc\n/Iinc2\n");
  dir.write("inc/keep", "");
  ToolRun run = flatten({"--quiet", "--deps", "out.d"}, "/Iinc\n/Iinc2\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(dir.read("out.c"), "\n\n" + copies);
  EXPECT_EQ(dir.read("out.d"), "out.c: \\\n  " + native("opts.txt") + " \\\n  " + native("a.c") +
                                   " \\\n  " + native("inc2/h.h") + "\n\n" + native("inc2/h.h") +
                                   ":\n");
  if (!runsWindowsProgram()) {
    ToolRun toStandardOutput = runTool({"--quiet", "opts.txt", "a.c", "/dev/stdout"}, dir.path());
    EXPECT_EQ(toStandardOutput.status, 0);
    EXPECT_EQ(toStandardOutput.out, "\n\n" + copies);
  }
}

}  // namespace
