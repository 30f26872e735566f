// File sizes, by seeking and by probing.
#include "../platform/simple_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

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

TEST_F(FileSize, ProbingFindsTheExactSize) {
  const uint64_t sizes[] = {
      0, 1, 2, 65535, 65536, 65537, 131071, 131072, 196607, 4294967295, (1ull << 32) + 12345};
  for (uint64_t size : sizes) {
    HANDLE file = fileOfSize(size);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(probeFileSize(file), size) << size;
    EXPECT_EQ(getFileSize(file), size) << size;
    CloseHandle(file);
  }
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
