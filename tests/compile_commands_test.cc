// A run that takes its options from a compilation database: the entry's
// directories, definitions and forced includes, in their places among the
// option file's and the command line's, and what it says where the result
// could differ from the build's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_tool.h"
#include "test_files.h"

namespace {

class CompileCommands : public ::testing::Test {
 protected:
  // A database of one entry for src/a.c, compiled in the scratch directory's
  // build/ with `arguments`.
  void writeDatabase(const std::string& arguments) {
    dir.write("build/compile_commands.json",
              "[{\"directory\": \"" + dir.path() +
                  "/build\", \"file\": \"../src/a.c\",\n  \"arguments\": [" + arguments + "]}]\n");
  }
  ToolRun flatten(const std::vector<std::string>& flags) {
    std::vector<std::string> arguments = {"-p", "build", "src/a.c", "-o", "out.c"};
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    return runTool(arguments, dir.path());
  }
  // The directory line of the progress account for a path below the scratch directory.
  std::string shownDirectory(const std::string& relative) const {
    return "<" + dir.shown() + "\\" + programSpelling(relative) + ">\n";
  }

  ScratchDirectory dir;
};

TEST_F(CompileCommands, TheEntrysOptionsComeFirstAndForcedIncludesBeforeTheFirstLine) {
  dir.write("src/a.c", "#include \"q.h\"\n#include <angle.h>\nint a;\n");
  dir.write("quoted/q.h", "int from_quoted;\n");
  dir.write("quoted/angle.h", "int wrong_angle;\n");
  dir.write("inc/angle.h", "int from_include;\n");
  dir.write("build/forced.h", "int forced;\n");
  dir.write("opts.txt", "/Ifromfile\n/DFILE_DEF=2\n");
  writeDatabase(
      "\"gcc\", \"-iquote\", \"../quoted\", \"-I../inc\", \"-DX=2\", \"-DY\", \"-UZ\", \"-DW\","
      " \"-UW\", \"-include\", \"forced.h\", \"-c\", \"../src/a.c\", \"-o\", \"a.o\"");
  std::vector<std::string> arguments = {
      "--expand-angle", "-p", "build", "opts.txt", "src/a.c", "-o", "out.c", "-Ilast", "-DLAST"};
  ToolRun run = runTool(arguments, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir.read("out.c"),
            "#undef Z\n#define X 2\n#define Y 1\n#define FILE_DEF 2\n#define LAST 1\n\n\n"
            "//--- -include forced.h\nint forced;\n"
            "//--- #include \"q.h\"\nint from_quoted;\n"
            "//--- #include <angle.h>\nint from_include;\nint a;\n");
  // The account lists the directories in search order.
  std::string directories = shownDirectory("src") + shownDirectory("src") +
                            shownDirectory("quoted") + shownDirectory("inc") +
                            shownDirectory("fromfile") + shownDirectory("last");
  EXPECT_NE(run.out.find("n_I=5\n" + directories + "n_D=5\n<#undef Z>\n"), std::string::npos)
      << run.out;
}

TEST_F(CompileCommands, AHeaderBesideTheMainSourceWarnsWhenTheCompilerReadsAnother) {
  dir.write("src/a.c", "#include \"lib.h\"\n");
  dir.write("src/detail.h", "int beside_main;\n");
  dir.write("inc/lib.h", "\n#include \"detail.h\"\n#include \"other.h\"\n");
  dir.write("src/other.h", "int only_beside_main;\n");
  dir.write("more/detail.h", "int compiler_reads_this;\n");
  writeDatabase("\"cc\", \"-I../inc\", \"-I../more\", \"-c\", \"../src/a.c\"");
  ToolRun run = flatten({});
  EXPECT_EQ(run.status, 0);
  std::string lib = programSpelling("inc/lib.h");
  EXPECT_EQ(run.err, lib +
                         ":2: warning: \"detail.h\" found beside the main source; the compiler "
                         "would read " +
                         programSpelling("more/detail.h") + "\n" + lib +
                         ":3: warning: \"other.h\" found beside the main source, where the "
                         "compiler does not look\n");
  // The tool's own search order stands: the output is as without a database.
  EXPECT_NE(dir.read("out.c").find("int beside_main;\n"), std::string::npos);

  // cl looks beside the main source too: no warning.
  writeDatabase("\"cl.exe\", \"/I../inc\", \"/I../more\", \"/c\", \"../src/a.c\"");
  EXPECT_EQ(flatten({}).err, "");
}

TEST_F(CompileCommands, TheDependencyFileNamesTheDatabase) {
  dir.write("src/a.c", "int a;\n");
  writeDatabase("\"cc\", \"-c\", \"../src/a.c\"");
  ToolRun run = flatten({"--deps", "out.d"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string deps = dir.read("out.d");
  EXPECT_NE(deps.find("compile_commands.json"), std::string::npos) << deps;
  EXPECT_LT(deps.find("compile_commands.json"), deps.find("a.c")) << deps;
}

TEST_F(CompileCommands, ARunThatCannotTakeItsOptionsStopsBeforeTheOutput) {
  dir.write("src/a.c", "int a;\n");
  dir.write("src/b.c", "int b;\n");
  dir.write("out.c", "old");
  writeDatabase("\"cc\", \"-include\", \"nowhere.h\", \"-c\", \"../src/a.c\"");
  ToolRun missingForced = flatten({});
  EXPECT_EQ(missingForced.status, 1);
  EXPECT_NE(missingForced.err.find("nowhere.h"), std::string::npos) << missingForced.err;

  ToolRun noEntry = runTool(
      {"--compile-commands", "build/compile_commands.json", "src/b.c", "-o", "out.c"}, dir.path());
  EXPECT_EQ(noEntry.status, 1);
  EXPECT_NE(noEntry.err.find("src/b.c"), std::string::npos) << noEntry.err;

  ToolRun fromStandardInput = runTool({"-p", "build", "-", "-o", "out.c"}, dir.path());
  EXPECT_EQ(fromStandardInput.status, 1);
  ToolRun badChoice = flatten({"--compile-commands-entry", "0"});
  EXPECT_EQ(badChoice.status, 1);
  EXPECT_EQ(dir.read("out.c"), "old");
  EXPECT_EQ(missingForced.out + noEntry.out + fromStandardInput.out + badChoice.out, "");
}

TEST_F(CompileCommands, SeveralEntriesForOneSourceTakeTheFirstOrTheOneChosen) {
  dir.write("src/a.c", "int a;\n");
  dir.write("build/compile_commands.json",
            "[\n{\"directory\": \"..\", \"file\": \"src/a.c\", \"command\": \"cc -DONE -c "
            "src/a.c\"},\n{\"directory\": \"../src\", \"file\": \"a.c\", \"command\": \"cc "
            "'-DTWO=a b' -imacros m.h -c a.c\"}\n]\n");
  ToolRun first = flatten({});
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(dir.read("out.c"), "#define ONE 1\n\n\nint a;\n");
  EXPECT_NE(first.err.find("warning: 2 entries compile"), std::string::npos) << first.err;

  ToolRun second = flatten({"--compile-commands-entry", "2"});
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(dir.read("out.c"), "#define TWO a b\n\n\nint a;\n");
  // The database is named as the run names it.
  EXPECT_NE(second.err.find("build/compile_commands.json:3: warning:"), std::string::npos)
      << second.err;
  EXPECT_NE(second.err.find("-imacros"), std::string::npos) << second.err;
  EXPECT_EQ(flatten({"--compile-commands-entry", "3"}).status, 1);
}

}  // namespace
