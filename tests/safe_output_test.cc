// The output and the dependency file take their new text whole or not at all:
// a run that fails to write it, or is interrupted, leaves the old file byte
// for byte and no temporary file behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "run_tool.h"
#include "test_files.h"

namespace {

// The temporary files left in `directory`.
std::vector<std::string> temporaryFiles(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    std::string name = entry.path().filename().string();
    if (name.find(".tuflat-") != std::string::npos) names.push_back(name);
  }
  return names;
}

mode_t modeOf(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

class SafeOutput : public ::testing::Test {
 protected:
  void SetUp() override { dir.write("opts.txt", ""); }
  ToolRun flatten(const RunSetup& setup = {}, const std::string& output = "out.c") {
    return runTool({"opts.txt", "a.c", output}, dir.path(), setup);
  }
  void expectNoTemporaryFile() {
    EXPECT_EQ(temporaryFiles(dir.path()), std::vector<std::string>());
  }

  ScratchDirectory dir;
};

TEST_F(SafeOutput, AWriteErrorLeavesTheOldOutputByteForByte) {
  if (runsWindowsProgram()) GTEST_SKIP() << "file size limits are a POSIX matter";
  dir.write("a.c", numberedLines(300000));
  dir.write("out.c", "old text\n");
  RunSetup setup;
  setup.fileSizeLimit = 100000;
  ToolRun run = flatten(setup);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("bytes could not be written"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("the output file 'out.c' was left as it was"), std::string::npos);
  EXPECT_EQ(dir.read("out.c"), "old text\n");
  expectNoTemporaryFile();
}

TEST_F(SafeOutput, AnIncludeOfTheOutputLeavesItAsItWas) {
  dir.write("a.c", "int a;\n#include \"out.c\"\n");
  dir.write("out.c", "old\n");
  ToolRun run = flatten();
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("output file itself"), std::string::npos);
  EXPECT_EQ(dir.read("out.c"), "old\n");
  expectNoTemporaryFile();

  // Known by the file that has the name: where there is none yet, the
  // include finds no file, as it would have found none before the run.
  std::filesystem::remove(dir.path() + "/out.c");
  run = flatten();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir.read("out.c"), "\n\nint a;\n//--- #include \"out.c\"\n!!! NO FILE !!!\n");
}

TEST_F(SafeOutput, AFifoIsWrittenInPlaceAndKnownWhenIncluded) {
  if (runsWindowsProgram()) GTEST_SKIP() << "FIFOs are a POSIX matter";
  ASSERT_EQ(mkfifo((dir.path() + "/out.fifo").c_str(), 0644), 0);
  dir.write("a.c", "int a;\n#include \"out.fifo\"\n");
  std::string received;
  std::thread reader([&] {
    int descriptor = open((dir.path() + "/out.fifo").c_str(), O_RDONLY);
    char chunk[4096];
    for (ssize_t got; (got = read(descriptor, chunk, sizeof chunk)) > 0;)
      received.append(chunk, got);
    close(descriptor);
  });
  ToolRun run = flatten({}, "out.fifo");
  reader.join();
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(received, "\n\nint a;\n//--- #include \"out.fifo\"\n!!! OUTPUT FILE !!!\n");
  EXPECT_EQ(std::filesystem::status(dir.path() + "/out.fifo").type(),
            std::filesystem::file_type::fifo);
  expectNoTemporaryFile();
}

TEST_F(SafeOutput, ModesAndLinksAreKept) {
  if (runsWindowsProgram()) GTEST_SKIP() << "modes and symbolic links are POSIX matters";
  dir.write("a.c", "int a;\n");
  dir.write("out.c", "old\n");
  chmod((dir.path() + "/out.c").c_str(), 0604);
  dir.write("real/target.c", "old\n");
  chmod((dir.path() + "/real/target.c").c_str(), 0640);
  ASSERT_EQ(symlink("real/target.c", (dir.path() + "/link.c").c_str()), 0);

  EXPECT_EQ(flatten().status, 0);
  EXPECT_EQ(dir.read("out.c"), "\n\nint a;\n");
  EXPECT_EQ(modeOf(dir.path() + "/out.c"), 0604u);

  EXPECT_EQ(flatten({}, "link.c").status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() + "/link.c"));
  EXPECT_EQ(dir.read("real/target.c"), "\n\nint a;\n");
  EXPECT_EQ(modeOf(dir.path() + "/real/target.c"), 0640u);
  EXPECT_EQ(temporaryFiles(dir.path() + "/real"), std::vector<std::string>());

  // A link that leads nowhere is followed, as a plain create follows it.
  ASSERT_EQ(symlink("real/made.c", (dir.path() + "/dangling.c").c_str()), 0);
  EXPECT_EQ(flatten({}, "dangling.c").status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() + "/dangling.c"));
  EXPECT_EQ(dir.read("real/made.c"), "\n\nint a;\n");

  // A new output is made as a plain create makes it.
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(flatten({}, "new.c").status, 0);
  EXPECT_EQ(modeOf(dir.path() + "/new.c"), 0666u & ~mask);
  expectNoTemporaryFile();
}

TEST_F(SafeOutput, WritePermissionIsHonoured) {
  if (runsWindowsProgram()) GTEST_SKIP() << "file modes are a POSIX matter";
  // Others may enter the directory and read the inputs, for a run as nobody.
  chmod(dir.path().c_str(), 0755);
  dir.write("a.c", "int a;\n");
  RunSetup setup;
  setup.unprivileged = true;

  // A file that may not be written is not replaced, though its directory
  // would allow a rename over it.
  dir.write("out.c", "old\n");
  chmod((dir.path() + "/out.c").c_str(), 0444);
  ToolRun readOnly = flatten(setup);
  EXPECT_EQ(readOnly.status, 1);
  EXPECT_EQ(readOnly.out, "");
  EXPECT_NE(readOnly.err.find("cannot create the output file 'out.c'"), std::string::npos);
  EXPECT_EQ(dir.read("out.c"), "old\n");

  // Where no file can be made beside it, a writable file is written in place.
  dir.write("fixed/out.c", "old\n");
  chmod((dir.path() + "/fixed/out.c").c_str(), 0666);
  chmod((dir.path() + "/fixed").c_str(), 0555);
  ToolRun inPlace = flatten(setup, "fixed/out.c");
  chmod((dir.path() + "/fixed").c_str(), 0755);
  EXPECT_EQ(inPlace.status, 0);
  EXPECT_NE(inPlace.err.find("it is written in place"), std::string::npos) << inPlace.err;
  EXPECT_EQ(dir.read("fixed/out.c"), "\n\nint a;\n");
}

// Standard output failing, a marker and a dependency file not written give
// status 2, yet the output text is whole and replaces the old one.
TEST_F(SafeOutput, OtherFailuresStillReplaceTheOutput) {
  dir.write("a.c", "int a;\n");
  RunSetup fullStandardOutput;
  fullStandardOutput.output = StandardOutput::FullDevice;
  dir.write("out.c", "old\n");
  EXPECT_EQ(flatten(fullStandardOutput).status, 2);
  EXPECT_EQ(dir.read("out.c"), "\n\nint a;\n");

  // The dependency file would overwrite the option file.
  dir.write("out.c", "old\n");
  ToolRun refused = runTool({"--deps", "opts.txt", "opts.txt", "a.c", "out.c"}, dir.path());
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("the dependency file 'opts.txt' is the output"), std::string::npos);
  EXPECT_EQ(dir.read("out.c"), "\n\nint a;\n");

  for (int n = 0; n < 300; ++n) {
    dir.write("d" + std::to_string(n) + ".h", "#include \"d" + std::to_string(n + 1) + ".h\"\n");
  }
  dir.write("a.c", "#include \"d0.h\"\n");
  dir.write("out.c", "old\n");
  EXPECT_EQ(flatten().status, 2);
  EXPECT_NE(dir.read("out.c").find("!!! INCLUDE TOO DEEP !!!\n"), std::string::npos);
  expectNoTemporaryFile();
}

TEST_F(SafeOutput, TheDependencyFileIsReplacedWholeOrNotAtAll) {
  if (runsWindowsProgram()) GTEST_SKIP() << "file size limits are a POSIX matter";
  // The dependency file names every header twice, by its full path: it is
  // far longer than the output, whose writing fits under the limit.
  std::string source, text = "\n\n";
  for (int n = 0; n < 40; ++n) {
    std::string name = std::string(200, 'h') + std::to_string(n) + ".h";
    dir.write(name, "");
    source += "#include \"" + name + "\"\n";
    text += "//--- #include \"" + name + "\"\n";
  }
  dir.write("a.c", source);
  dir.write("out.d", "old rules\n");
  RunSetup setup;
  setup.fileSizeLimit = 12000;
  ToolRun run = runTool({"--deps", "out.d", "opts.txt", "a.c", "out.c"}, dir.path(), setup);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("cannot write the dependency file 'out.d'"), std::string::npos);
  EXPECT_NE(run.err.find("the dependency file 'out.d' was left as it was"), std::string::npos);
  EXPECT_EQ(dir.read("out.d"), "old rules\n");
  EXPECT_EQ(dir.read("out.c"), text);
  expectNoTemporaryFile();
}

// The run waits on an include whose writer says nothing; the signal that ends
// it takes its temporary file away and ends it as the signal would.
TEST_F(SafeOutput, AnInterruptedRunLeavesNoTemporaryFile) {
  if (runsWindowsProgram()) GTEST_SKIP() << "signals are a POSIX matter";
  ASSERT_EQ(mkfifo((dir.path() + "/silent.h").c_str(), 0644), 0);
  // Read and write, so that opening it waits for nobody; never inherited.
  int writer = open((dir.path() + "/silent.h").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  dir.write("a.c", "#include \"silent.h\"\n");
  for (int signalNumber : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signalNumber);
    dir.write("out.c", "old\n");
    bool temporaryFileSeen = false;
    RunSetup setup;
    setup.whileRunning = [&](int child) {
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!temporaryFileSeen && std::chrono::steady_clock::now() < deadline) {
        temporaryFileSeen = !temporaryFiles(dir.path()).empty();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      // Still reading the FIFO, well past creating the file.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      kill(child, signalNumber);
    };
    ToolRun run = flatten(setup);
    EXPECT_TRUE(temporaryFileSeen);
    EXPECT_EQ(run.status, 128 + signalNumber);
    EXPECT_EQ(dir.read("out.c"), "old\n");
    expectNoTemporaryFile();
  }
  close(writer);
}

}  // namespace
