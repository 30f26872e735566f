// Inputs that are not regular files, runs that cannot start, and standard
// streams that fail: nothing is lost, nothing hangs, nothing fails silently.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

#include "run_tool.h"
#include "test_files.h"

namespace {

// Feeds `contents` into a FIFO once a reader opens it, as a shell's `<(...)`
// does. A reader that never comes is stood in for when the object goes away.
class FifoWriter {
 public:
  FifoWriter(const std::string& path, std::string contents) : path_(path) {
    EXPECT_EQ(mkfifo(path.c_str(), 0644), 0);
    writer_ = std::thread([this, contents] {
      int descriptor = open(path_.c_str(), O_WRONLY);
      if (descriptor < 0) return;
      for (size_t done = 0; done < contents.size();) {
        ssize_t put = write(descriptor, contents.data() + done, contents.size() - done);
        if (put <= 0) break;
        done += static_cast<size_t>(put);
      }
      close(descriptor);
    });
  }
  ~FifoWriter() {
    int unblock = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    writer_.join();
    if (unblock >= 0) close(unblock);
  }

 private:
  std::string path_;
  std::thread writer_;
};

class Streams : public ::testing::Test {
 protected:
  // A writer whose reader has gone must not end the test.
  void SetUp() override { signal(SIGPIPE, SIG_IGN); }

  ScratchDirectory dir;
};

TEST_F(Streams, PipedOptionFileAndMainSourceAreReadWhole) {
  // Both are larger than the 64 KiB a size probe used to read away.
  std::string options = std::string(70000, '#') + "\n/DX=1\n";
  std::string source = numberedLines(240000);
  FifoWriter optionWriter(dir.path() + "/opts.fifo", options);
  FifoWriter sourceWriter(dir.path() + "/a.fifo", source);
  ToolRun run = runTool({"opts.fifo", "a.fifo", "out.c"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(dir.read("out.c") == "#define X 1\n\n\n" + source);
  EXPECT_NE(run.out.find("l=" + std::to_string(source.size()) + "\n"), std::string::npos);
}

TEST_F(Streams, AFifoWithoutAWriterIsAnEmptyInclude) {
  ASSERT_EQ(mkfifo((dir.path() + "/fifo.h").c_str(), 0644), 0);
  dir.write("opts.txt", "");
  dir.write("a.c", "#include \"fifo.h\"\nend\n");
  ToolRun run = runTool({"opts.txt", "a.c", "out.c"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"), "\n\n//--- #include \"fifo.h\"\nend\n");
  EXPECT_NE(run.out.find("fifo.h>\n?<" + dir.shown() + "\\a.c\\..>\nl=0\n"), std::string::npos);
}

TEST_F(Streams, RunsThatCannotStartLeaveTheOutputPathAlone) {
  dir.write("opts.txt", "/DX\n");
  dir.write("main.c", "int m;\n");
  dir.write("old.c", "kept\n");
  dir.write("sub/keep", "");

  // Source and output swapped: the missing "source" stops the run before
  // the real source could be truncated.
  ToolRun swapped = runTool({"opts.txt", "out.c", "main.c"}, dir.path());
  EXPECT_EQ(swapped.status, 1);
  EXPECT_EQ(swapped.out, "");
  EXPECT_EQ(dir.read("main.c"), "int m;\n");
  EXPECT_FALSE(dir.exists("out.c"));
  EXPECT_NE(swapped.err.find("main source 'out.c'"), std::string::npos);

  ToolRun noOptions = runTool({"opt.txt", "main.c", "old.c"}, dir.path());
  EXPECT_EQ(noOptions.status, 1);
  EXPECT_EQ(noOptions.out, "");
  EXPECT_EQ(dir.read("old.c"), "kept\n");

  ToolRun directorySource = runTool({"opts.txt", "sub", "old.c"}, dir.path());
  EXPECT_EQ(directorySource.status, 1);
  EXPECT_EQ(directorySource.out, "");
  EXPECT_EQ(dir.read("old.c"), "kept\n");
}

TEST_F(Streams, AFailingStandardOutputIsStatusTwoAndTheOutputIsStillWhole) {
  std::string source = numberedLines(100000);
  dir.write("opts.txt", "");
  dir.write("a.c", source);
  for (StandardOutput output : {StandardOutput::FullDevice, StandardOutput::PipeWithoutReader}) {
    SCOPED_TRACE(static_cast<int>(output));
    RunSetup setup;
    setup.output = output;
    ToolRun run = runTool({"opts.txt", "a.c", "out.c"}, dir.path(), setup);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("standard output could not be written"), std::string::npos);
    EXPECT_TRUE(dir.read("out.c") == "\n\n" + source);
  }
}

TEST_F(Streams, AClosedStandardOutputIsNotTakenByTheOutputFile) {
  // Only POSIX hands a closed descriptor's number to the next file opened.
  if (runsWindowsProgram()) GTEST_SKIP() << "descriptor numbers are not reused on Windows";
  dir.write("opts.txt", "");
  dir.write("a.c", "int a;\n");
  RunSetup setup;
  setup.output = StandardOutput::Closed;
  ToolRun run = runTool({"opts.txt", "a.c", "out.c"}, dir.path(), setup);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"), "\n\nint a;\n");
}

TEST_F(Streams, AFileSizeLimitIsStatusTwoAndCreatesNoOutput) {
  // Under Wine the limit's signal reaches the Windows program, which has no
  // such signals to ignore.
  if (runsWindowsProgram()) GTEST_SKIP() << "file size limits are a POSIX matter";
  std::string source = numberedLines(300000);
  dir.write("opts.txt", "");
  dir.write("a.c", source);
  RunSetup setup;
  setup.fileSizeLimit = 100000;
  ToolRun run = runTool({"opts.txt", "a.c", "out.c"}, dir.path(), setup);
  EXPECT_EQ(run.status, 2);
  uint64_t lost = source.size() + 2 - setup.fileSizeLimit;
  EXPECT_NE(run.err.find(std::to_string(lost) + " bytes could not be written"), std::string::npos)
      << run.err;
  // A truncated output with a fresh time stamp would pass for up to date.
  EXPECT_FALSE(dir.exists("out.c"));
}

TEST_F(Streams, ByteOrderMarksAreNotCopiedAndHideNoInclude) {
  const std::string mark = "\xEF\xBB\xBF";
  dir.write("opts.txt", "/DX=1\n");
  dir.write("a.c", mark + "#include \"b.h\"\nint a;\n");
  dir.write("b.h", mark + "#include \"c.h\"\r\nint b;\n");
  dir.write("c.h", mark);
  ToolRun run = runTool({"opts.txt", "a.c", "out.c"}, dir.path());
  EXPECT_EQ(run.status, 0);
  // The main source's mark heads the output; no other mark is copied.
  EXPECT_EQ(dir.read("out.c"), mark +
                                   "#define X 1\n\n\n//--- #include \"b.h\"\n"
                                   "//--- #include \"c.h\"\nint b;\nint a;\n");
  // Every byte read is counted, the marks too.
  EXPECT_NE(run.out.find("l=25\n"), std::string::npos);
  EXPECT_NE(run.out.find("l=3\n"), std::string::npos);
}

}  // namespace

namespace {

TEST(ProgressLines, ComeOutWholeWhateverTheyHold) {
  // A Latin-1 and a UTF-8 define: bytes beyond ASCII, which a wide print in
  // the C locale would stop at, losing the rest of the line and its end.
  ScratchDirectory dir;
  const std::string latin1 = "/DL=caf\xE9 au lait\n", utf8 = "/DU=caf\xC3\xA9 cr\xC3\xA8me\n";
  dir.write("opts.txt", latin1 + utf8);
  dir.write("a.c", "");
  ToolRun run = runTool({"opts.txt", "a.c", "out.c"}, dir.path());
  EXPECT_EQ(run.status, 0);
  const std::string defines = "#define L caf\xE9 au lait\n#define U caf\xC3\xA9 cr\xC3\xA8me\n";
  EXPECT_EQ(dir.read("out.c"), defines + "\n\n");
  EXPECT_NE(
      run.out.find("n_D=2\n<#define L caf\xE9 au lait>\n<#define U caf\xC3\xA9 cr\xC3\xA8me>\n!<"),
      std::string::npos)
      << run.out;
}

}  // namespace
