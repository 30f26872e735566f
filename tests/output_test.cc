// The output's writes: bytes taken where they lie must come out exactly as
// copied ones would, however many spans wait and whenever their blocks are
// given back.
#include "../output/output.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "../output/run_state.h"
#include "test_files.h"

namespace {

TEST(Output, LastingAndCopiedSpansComeOutInOrderWhateverIsFreedMeanwhile) {
  ScratchDirectory dir;
  std::string path = dir.path() + "/out";
  OutputFile.handle =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(OutputFile.handle, INVALID_HANDLE_VALUE);

  std::mt19937 random(7);
  std::string expected;
  for (int round = 0; round < 60; ++round) {
    // A file's bytes, given back at the end of the round: a block freed while
    // spans in it still waited would be reused by the next round's, and its
    // new bytes would come out in their place.
    constexpr size_t kFileBytes = 80000;
    auto* file = static_cast<char*>(::operator new(kFileBytes));
    for (size_t at = 0; at < kFileBytes; ++at) file[at] = static_cast<char>('a' + random() % 26);
    // Thousands of one-byte spans outgrow the list of waiting spans; a few
    // long ones go out on their own.
    int writes = static_cast<int>(random() % 3000);
    for (int at = 0; at < writes; ++at) {
      size_t count = random() % 200 == 0 ? random() % 70000 : random() % 3;
      size_t from = random() % (kFileBytes - count);
      if (random() % 2 == 0) {
        writeLastingOutput(file + from, count);
      } else {
        std::string copied(file + from, count);
        writeOutput(copied.data(), count);
      }
      expected.append(file + from, count);
    }
    releaseOutputBlock(file, kFileBytes);
    if (round % 4 == 0) settleOutput();
  }
  flushOutput();
  CloseHandle(OutputFile.handle);
  OutputFile.handle = nullptr;
  std::string written = readWholeFile(path);
  ASSERT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

}  // namespace
