// The output's writes: bytes taken where they lie must come out exactly as
// copied ones would, however many spans wait and whenever they are freed.
#include "../expand/output.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../expand/run_state.h"
#include "test_files.h"

namespace {

TEST(Output, LastingAndCopiedSpansComeOutInOrderAcrossSettlesAndFlushes) {
  ScratchDirectory dir;
  std::string path = dir.path() + "/out";
  OutputFile.handle =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(OutputFile.handle, INVALID_HANDLE_VALUE);

  std::mt19937 random(7);
  std::string expected;
  // A file's bytes: overwritten after each settle, as a freed block would be
  // reused, so a span left pointing into it would come out wrong.
  std::vector<char> file(80000);
  for (int round = 0; round < 60; ++round) {
    for (char& byte : file) byte = static_cast<char>('a' + random() % 26);
    // Thousands of one-byte spans outgrow the list of waiting spans; a few
    // long ones go out on their own.
    int writes = static_cast<int>(random() % 3000);
    for (int at = 0; at < writes; ++at) {
      size_t count = random() % 200 == 0 ? random() % 70000 : random() % 3;
      size_t from = random() % (file.size() - count);
      if (random() % 2 == 0) {
        writeLastingOutput(file.data() + from, count);
      } else {
        std::string copied(file.data() + from, count);
        writeOutput(copied.data(), count);
      }
      expected.append(file.data() + from, count);
    }
    settleOutput();
  }
  flushOutput();
  CloseHandle(OutputFile.handle);
  OutputFile.handle = nullptr;
  std::string written = readWholeFile(path);
  ASSERT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

}  // namespace
