// File sizes, and whole-file reads of files and streams.
#include "../platform/simple_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "../platform/linux/handle.h"
#include "test_files.h"

namespace {

class FileSize : public ::testing::Test {
 protected:
  // A file of `size` bytes, sparse beyond its first page.
  HANDLE fileOfSize(uint64_t size) {
    std::string path = dir.path() + "/f" + std::to_string(size);
    int descriptor = open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
    EXPECT_GE(descriptor, 0);
    std::string head(size < 4096 ? size : 4096, 'x');
    EXPECT_EQ(write(descriptor, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    EXPECT_EQ(ftruncate(descriptor, static_cast<off_t>(size)), 0);
    close(descriptor);
    return CreateFileA(path.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
  }

  ScratchDirectory dir;
};

TEST_F(FileSize, TheSizeIsExactAtAnyLength) {
  const uint64_t sizes[] = {0, 1, 65536, 4294967295, (1ull << 32) + 12345};
  for (uint64_t size : sizes) {
    HANDLE file = fileOfSize(size);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(getFileSize(file), size) << size;
    CloseHandle(file);
  }
}

TEST_F(FileSize, AStreamIsReadToItsEndWithNothingLost) {
  // More than a pipe holds and more than the first block, so that the reader
  // must wait for the writer and grow its block more than once.
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += std::to_string(i) + "\n";
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    close(ends[0]);
    bool complete = write(ends[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    _exit(complete ? 0 : 1);
  }
  close(ends[1]);
  FileContents contents = readWholeFile(handleOf(ends[0]));
  ASSERT_NE(contents.bytes, nullptr);
  EXPECT_TRUE(contents.whole);
  EXPECT_EQ(contents.size, text.size());
  EXPECT_EQ(std::string(contents.bytes, contents.count), text);
  ::operator delete(contents.bytes);
  close(ends[0]);
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_EQ(status, 0);
}

TEST_F(FileSize, ARegularFileIsReadWhole) {
  HANDLE file = fileOfSize(70000);
  FileContents contents = readWholeFile(file);
  ASSERT_NE(contents.bytes, nullptr);
  EXPECT_TRUE(contents.whole);
  EXPECT_EQ(contents.count, 70000u);
  EXPECT_EQ(contents.size, 70000u);
  EXPECT_EQ(std::string(contents.bytes, 4), "xxxx");
  ::operator delete(contents.bytes);
  CloseHandle(file);
}

// What an open learns of a regular file answers the questions that follow it,
// but never for another file that later takes the same descriptor number.
TEST_F(FileSize, AReusedDescriptorIsAskedAfresh) {
  HANDLE regular = fileOfSize(10);
  ASSERT_NE(regular, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(regular), FILE_TYPE_DISK);
  CloseHandle(regular);
  std::string fifo = dir.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  HANDLE stream = CreateFileA(fifo.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_EQ(stream, regular);
  EXPECT_EQ(GetFileType(stream), FILE_TYPE_PIPE);
  EXPECT_EQ(getFileSize(stream), kUnknownSize);
  CloseHandle(stream);
}

TEST_F(FileSize, TheFilePositionIsKept) {
  HANDLE file = fileOfSize((1ull << 32) + 7);
  LONG high = 1;
  SetFilePointer(file, 5, &high, FILE_BEGIN);
  EXPECT_EQ(getFileSize(file), (1ull << 32) + 7);
  high = 0;
  EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_CURRENT), 5u);
  EXPECT_EQ(high, 1);
  CloseHandle(file);
}

}  // namespace

namespace {

mode_t modeOf(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// A file made new is the run's temporary output: no one else may read it
// before it takes its name and the mode of a new file there.
TEST(TemporaryFile, IsPrivateUntilMovedToItsName) {
  ScratchDirectory dir;
  std::string temporary = dir.path() + "/out.c.tmp";
  std::string named = dir.path() + "/out.c";
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 7, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_EQ(modeOf(temporary), 0600u);
  mode_t mask = umask(0);
  umask(mask);
  ASSERT_TRUE(MoveFileExA(temporary.c_str(), named.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(modeOf(named), 0666u & ~mask);
}

}  // namespace
