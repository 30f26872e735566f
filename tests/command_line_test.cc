// The command line as compiler users expect it: flags after the names, `-o`,
// an optional option file, `-D` as compilers take it, standard input and
// standard output, and directories named where files are wanted.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "run_tool.h"
#include "test_files.h"

namespace {

class CommandLine : public ::testing::Test {
 protected:
  // A pipe whose reader has gone must not end the test.
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);
    dir.write("opts.txt", "/DX=1\n");
    dir.write("g.h", "#ifndef G\n#define G\nint g;\n#endif\n");
    dir.write("a.c", "#include \"g.h\"\n#include \"g.h\"\n");
  }
  ToolRun run(const std::vector<std::string>& arguments, const RunSetup& setup = {}) {
    return runTool(arguments, dir.path(), setup);
  }

  const std::string guarded = "//--- #include \"g.h\"\n#ifndef G\n#define G\nint g;\n#endif\n";
  // a.c flattened with opts.txt, and with --once.
  const std::string plain = "#define X 1\n\n\n" + guarded + guarded;
  const std::string once = "#define X 1\n\n\n" + guarded + "//--- #include \"g.h\"\n";
  ScratchDirectory dir;
};

TEST_F(CommandLine, FlagsAfterTheNamesCountUntilTwoDashes) {
  ToolRun after = run({"opts.txt", "a.c", "out.c", "--once"});
  EXPECT_EQ(after.status, 0);
  EXPECT_EQ(after.err, "");
  EXPECT_EQ(dir.read("out.c"), once);
  EXPECT_EQ(run({"opts.txt", "--once", "a.c", "--quiet", "out.c"}).out, "");
  EXPECT_EQ(dir.read("out.c"), once);

  // An unknown flag is refused wherever it stands, before anything is written.
  ToolRun unknown = run({"opts.txt", "a.c", "new.c", "--onse"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("unknown flag '--onse'"), std::string::npos);
  EXPECT_FALSE(dir.exists("new.c"));

  // After `--`, a flag's spelling is a name, and one past the third is
  // ignored, with a warning like any other.
  ToolRun ended = run({"opts.txt", "a.c", "out.c", "--", "--once"});
  EXPECT_EQ(ended.status, 0);
  EXPECT_EQ(ended.err, "tuflat: warning: the argument '--once' after OUTPUT is ignored\n");
  EXPECT_EQ(dir.read("out.c"), plain);
}

TEST_F(CommandLine, NamesBeyondTheThirdAreIgnoredWithAWarningEach) {
  ToolRun run = this->run({"opts.txt", "a.c", "out.c", "b.h", "--quiet", "c.h"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "tuflat: warning: the argument 'b.h' after OUTPUT is ignored\n"
            "tuflat: warning: the argument 'c.h' after OUTPUT is ignored\n");
  EXPECT_EQ(dir.read("out.c"), plain);
  EXPECT_FALSE(dir.exists("b.h"));
}

TEST_F(CommandLine, DashOTakesTheOutputAndTheOptionFileMayBeLeftOut) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"-o", "out.c", "opts.txt", "a.c"},
                                             {"opts.txt", "a.c", "-oout.c"},
                                             {"-DX=1", "a.c", "-o", "out.c"},
                                             {"a.c", "-o", "out.c", "-D", "X=1"}}) {
    dir.write("out.c", "old\n");
    ToolRun run = this->run(arguments);
    EXPECT_EQ(run.status, 0) << arguments[0];
    EXPECT_EQ(dir.read("out.c"), plain) << arguments[0];
  }
  ToolRun bare = run({"a.c", "-o", "out.c", "--quiet"});
  EXPECT_EQ(bare.status, 0);
  EXPECT_EQ(dir.read("out.c"), "\n\n" + guarded + guarded);

  // Leaving the option file out needs -o, so that SOURCE is never taken for
  // OUTPUT; the output named twice stops the run too.
  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"-I", ".", "opts.txt", "g.h"},
                                             {"-o", "new.c", "opts.txt", "a.c", "g.h"},
                                             {"-o", "new.c", "-o", "g.h", "a.c"},
                                             {"-o", "new.c"}}) {
    ToolRun run = this->run(wrong);
    EXPECT_EQ(run.status, 1) << wrong.back();
    EXPECT_EQ(run.out, "") << wrong.back();
    EXPECT_NE(run.err, "") << wrong.back();
  }
  EXPECT_EQ(run({"-o", "new.c", "opts.txt", "a.c", "g.h"}).err,
            "tuflat: the output file is named twice: 'new.c' and 'g.h'\n");
  EXPECT_EQ(run({"-I", ".", "opts.txt", "g.h"}).err.rfind("tuflat: no output file", 0), 0u);
  EXPECT_EQ(dir.read("g.h"), "#ifndef G\n#define G\nint g;\n#endif\n");
  EXPECT_FALSE(dir.exists("new.c"));
}

TEST_F(CommandLine, DefinitionsAndDirectoriesOfTheCommandLineAreTakenVerbatim) {
  dir.write("a.c", "#include \"h.h\"\n");
  dir.write("my inc#1/h.h", "#if FOO\nint h;\n#endif\n");
  dir.write("opts.txt", "/DFILE_ONLY\n/DFILE=a#b  c\n");
  ToolRun run = this->run(
      {"opts.txt", "a.c", "out.c", "-DFOO", "-D", "STR=\"a#b  c\"", "-DE=", "-I", "my inc#1"});
  EXPECT_EQ(run.status, 0);
  // Without a value, 1, as for compilers; an option file's line is
  // normalised and stays an empty definition.
  EXPECT_EQ(dir.read("out.c"),
            "#define FILE_ONLY\n#define FILE a\n#define FOO 1\n#define STR \"a#b  c\"\n"
            "#define E \n\n\n//--- #include \"h.h\"\n#if FOO\nint h;\n#endif\n");
  EXPECT_NE(run.out.find("<" + dir.shown() + "\\my inc#1>\nn_D=5\n"), std::string::npos);
}

TEST_F(CommandLine, ADashAsSourceReadsStandardInputFromTheCurrentDirectory) {
  dir.write("sub/g.h", "wrong\n");
  for (StandardInput input : {StandardInput::File, StandardInput::Pipe}) {
    SCOPED_TRACE(static_cast<int>(input));
    RunSetup setup;
    setup.input = input;
    setup.inputText = "#include \"g.h\"\r\nint main;\n";
    ToolRun run = this->run({"--deps", "out.d", "-I", "sub", "opts.txt", "-", "out.c"}, setup);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(dir.read("out.c"), "#define X 1\n\n\n" + guarded + "int main;\n");
    std::string from = "?<" + dir.shown() + "\\<stdin>\\..>\n";
    EXPECT_NE(run.out.find("!<" + dir.shown() + "\\<stdin>>\n?<" + dir.shown() + ">\nl=26\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("!<g.h>\n" + from + "!<" + dir.shown() + "\\g.h>\n" + from + "l="),
              std::string::npos);
    // Standard input is no file make could check.
    EXPECT_EQ(dir.read("out.d").find("stdin"), std::string::npos);
    EXPECT_NE(dir.read("out.d").find("g.h"), std::string::npos);
  }
}

TEST_F(CommandLine, StandardOutputCarriesOnlyTheFlattenedText) {
  // Lone CRs stay, and no LF becomes CR LF, not even on Windows.
  dir.write("a.c", "int a;\rint b;\n#include \"g.h\"\n");
  std::string flattened = "#define X 1\n\n\nint a;\rint b;\n" + guarded;
  RunSetup exact;
  exact.exactOutput = true;
  ToolRun run = this->run({"opts.txt", "a.c", "-o", "-"}, exact);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out == flattened) << run.out;
  EXPECT_NE(run.err.find("n_I=1\n"), std::string::npos);
  EXPECT_NE(run.err.find("#include: [g.h]\n"), std::string::npos);
  EXPECT_FALSE(dir.exists("-"));

  // The file standard output writes to, named as OUTPUT, is the same mend.
  if (!runsWindowsProgram()) {
    ToolRun named = this->run({"opts.txt", "a.c", "/dev/stdout"});
    EXPECT_EQ(named.status, 0);
    EXPECT_TRUE(named.out == flattened) << named.out;
    EXPECT_EQ(named.err.rfind("n_I=1\n", 0), 0u);
  }
}

TEST_F(CommandLine, ADirectoryAsSourceOrOptionsSaysSo) {
  dir.write("sub/keep", "");
  ToolRun source = run({"opts.txt", "sub", "out.c"});
  EXPECT_EQ(source.status, 1);
  EXPECT_EQ(source.err, "tuflat: cannot open the main source 'sub': is a directory\n");
  ToolRun options = run({"sub", "a.c", "out.c"});
  EXPECT_EQ(options.status, 1);
  EXPECT_EQ(options.err, "tuflat: cannot open the option file 'sub': is a directory\n");
  EXPECT_EQ(source.out + options.out, "");
  EXPECT_FALSE(dir.exists("out.c"));
}

}  // namespace
