// Path resolution as the tool relies on it: lexical, prefixed, Z: for the root.
#include "../platform/full_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "../platform/os.h"
#include "../platform/simple_file.h"
#include "../platform/winapi.h"
#include "test_files.h"

namespace {

std::u16string widen(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

std::string narrow(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

class FullPath : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(saved), 0);
    free(saved);
  }
  std::string resolve(const std::string& source) {
    std::u16string wide = widen(source);
    char16_t destination[32768];
    size_t length = resolveFullPath(wide.c_str(), destination, sizeof destination);
    std::string result = narrow(destination);
    EXPECT_EQ(length, result.size());
    return result;
  }

  ScratchDirectory dir;
  char* saved = nullptr;
};

TEST_F(FullPath, RelativePathsResolveAgainstTheCurrentDirectory) {
  std::string here = dir.shown();
  EXPECT_EQ(resolve("a.c"), here + "\\a.c");
  EXPECT_EQ(resolve("a.c\\.."), here);
  EXPECT_EQ(resolve("src/x/./../a.c"), here + "\\src\\a.c");
  EXPECT_EQ(resolve("inc\\"), here + "\\inc\\");
  EXPECT_EQ(resolve("z:a.c"), here + "\\a.c");
}

TEST_F(FullPath, AbsoluteFormsKeepTheirRoot) {
  EXPECT_EQ(resolve("C:\\w\\x\\a.c\\.."), "\\\\?\\C:\\w\\x");
  EXPECT_EQ(resolve("C:/w//x///a.h"), "\\\\?\\C:\\w\\x\\a.h");
  EXPECT_EQ(resolve("C:x"), "\\\\?\\C:\\x");
  EXPECT_EQ(resolve("C:\\..\\..\\a"), "\\\\?\\C:\\a");
  EXPECT_EQ(resolve("/a.c\\.."), "\\\\?\\Z:\\");
  EXPECT_EQ(resolve("\\x\\y"), "\\\\?\\Z:\\x\\y");
  EXPECT_EQ(resolve("\\\\?\\Z:\\w\\a.c\\..\\b.h"), "\\\\?\\Z:\\w\\b.h");
  // Windows climbs above a prefixed drive; here Z: holds every file.
  EXPECT_EQ(resolve("\\\\?\\Z:\\..\\b.h"), "\\\\?\\Z:\\b.h");
  EXPECT_EQ(resolve("\\\\?\\\\z:/w/b.h"), "\\\\?\\z:\\w\\b.h");
  // A prefixed path already in its resolved form stays as it is; one step
  // from it, it is resolved.
  EXPECT_EQ(resolve("\\\\?\\z:\\.w\\..h\\b..h"), "\\\\?\\z:\\.w\\..h\\b..h");
  EXPECT_EQ(resolve("\\\\?\\Z:\\w\\.\\b.h"), "\\\\?\\Z:\\w\\b.h");
  EXPECT_EQ(resolve("\\\\?\\Z:\\w\\\\b.h"), "\\\\?\\Z:\\w\\b.h");
  EXPECT_EQ(resolve("\\\\?\\Z:\\w/b.h"), "\\\\?\\Z:\\w\\b.h");
  EXPECT_EQ(resolve("\\\\?\\Z:\\w\\b\\"), "\\\\?\\Z:\\w\\b\\");
  EXPECT_EQ(resolve("\\\\server\\share\\f.h"), "\\\\server\\share\\f.h");
  EXPECT_EQ(resolve("//server/share/d/../f.h"), "\\\\server\\share\\f.h");
  EXPECT_EQ(resolve("\\\\server\\share\\..\\..\\f.h"), "\\\\server\\share\\f.h");
  // Linux names may end in dots and spaces: they are kept.
  EXPECT_EQ(resolve("C:\\a. \\b."), "\\\\?\\C:\\a. \\b.");
}

// As the Windows build resolves them under Wine: a network root keeps the
// separators written after its server and share, and `..` stops there; a
// device root is the four characters `\\.\` or `\\?\`.
TEST_F(FullPath, NetworkAndDeviceRootsResolveAsOnWindows) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\\\srv\\share", "\\\\srv\\share"},
      {"\\\\srv\\share\\", "\\\\srv\\share\\"},
      {"\\\\srv\\share\\\\", "\\\\srv\\share\\\\"},
      {"//srv/share", "\\\\srv\\share"},
      {"/\\srv/share/dir", "\\\\srv\\share\\dir"},
      {"\\\\srv\\share\\dir\\", "\\\\srv\\share\\dir\\"},
      {"\\\\srv\\share\\.", "\\\\srv\\share\\"},
      {"\\\\srv\\share\\..", "\\\\srv\\share\\"},
      {"\\\\srv\\share\\dir\\..\\..", "\\\\srv\\share\\"},
      {"\\\\srv\\share\\a\\.\\b\\\\c\\..", "\\\\srv\\share\\a\\b"},
      {"\\\\srv", "\\\\srv"},
      {"\\\\srv\\", "\\\\srv\\"},
      {"\\\\srv\\\\share\\..", "\\\\srv\\\\share\\"},
      {"\\\\srv\\..", "\\\\srv\\.."},
      {"\\\\", "\\\\"},
      {"\\\\\\srv\\share", "\\\\\\srv\\share"},
      {"\\\\?x\\y", "\\\\?x\\y"},
      {"\\\\?\\UNC\\srv\\share\\dir\\..", "\\\\?\\UNC\\srv\\share"},
      {"\\\\?\\UNC\\srv\\share\\..\\..\\..\\x", "\\\\?\\x"},
      {"\\\\?\\", "\\\\?\\"},
      {"\\\\?\\x\\..\\..", "\\\\?\\"},
      {"\\\\?/x", "\\\\?\\x"},
      {"\\\\.\\pipe\\x", "\\\\.\\pipe\\x"},
      {"\\\\.\\pipe\\x\\..", "\\\\.\\pipe"},
      {"\\\\.\\pipe\\..", "\\\\.\\"},
      {"\\\\.\\C:\\..", "\\\\.\\"},
      {"\\\\.\\", "\\\\.\\"},
      {"\\\\.", "\\\\.\\"},
      {"\\\\?", "\\\\.\\"},
      {"\\\\?\\C:", "\\\\?\\C:"},
      {"\\\\?\\C:\\", "\\\\?\\C:\\"},
  };
  for (const auto& [source, resolved] : cases) EXPECT_EQ(resolve(source), resolved) << source;
}

TEST(NativePath, LinuxFilesLoseTheDriveAndTakeSlashes) {
  auto native = [](const std::string& resolved) {
    std::u16string wide = widen(resolved);
    std::u16string out(wide.size() + 1, u'x');
    size_t length = toNativePath(wide.c_str(), &out[0]);
    out.resize(length);
    return narrow(out);
  };
  EXPECT_EQ(native("\\\\?\\Z:\\home\\me\\b.h"), "/home/me/b.h");
  EXPECT_EQ(native("\\\\?\\z:\\home\\b.h"), "/home/b.h");
  EXPECT_EQ(native("\\\\?\\Z:\\"), "/");
  EXPECT_EQ(native("\\\\?\\C:\\w\\b.h"), "C:/w/b.h");
  EXPECT_EQ(native("\\\\?\\Zz\\b.h"), "Zz/b.h");
}

TEST_F(FullPath, UnresolvableTextsLeaveTheBarePrefix) {
  EXPECT_EQ(resolve(""), "\\\\?\\");
  EXPECT_EQ(resolve("C:\\" + std::string(32762, 'n')), "\\\\?\\");
  EXPECT_EQ(resolve("C:\\" + std::string(32758, 'n')).size(), 4u + 3 + 32758);
  // A path that needs no prefix may fill the buffer: a resolved one resolves to itself.
  for (std::string root : {"\\\\?\\C:\\", "\\\\srv\\share\\"}) {
    std::string longest = root + std::string(32767 - root.size(), 'n');
    EXPECT_TRUE(resolve(longest) == longest) << root;
    EXPECT_EQ(resolve(longest + "n"), "\\\\?\\");
  }
}

TEST_F(FullPath, OnlyFilesOnZOpenAndNeverDirectories) {
  dir.write("sub/f.txt", "f");
  SimpleFile file;
  EXPECT_NE(file.openForRead(widen(dir.shown() + "\\sub\\f.txt").c_str()), nullptr);
  CloseHandle(file.handle);
  std::string unprefixed = dir.shown().substr(4) + "\\sub\\..\\sub\\f.txt";
  EXPECT_NE(file.openForRead(widen(unprefixed).c_str()), nullptr);
  CloseHandle(file.handle);
  EXPECT_EQ(file.openForRead(widen(dir.shown() + "\\sub").c_str()), nullptr);
  // A prefixed path is taken literally: it names no file unless it is clean.
  for (const char* unclean :
       {"\\sub\\..\\sub\\f.txt", "\\sub\\.\\f.txt", "\\sub\\\\f.txt", "\\sub/f.txt"}) {
    EXPECT_EQ(file.openForRead(widen(dir.shown() + unclean).c_str()), nullptr) << unclean;
  }
  // The device form is resolved like a bare path, and `..` may climb over Z:.
  std::string device = "\\\\.\\Z:" + dir.path() + "\\sub\\..\\sub\\f.txt";
  EXPECT_NE(file.openForRead(widen(device).c_str()), nullptr);
  CloseHandle(file.handle);
  EXPECT_EQ(file.openForRead(widen("\\\\.\\Z:\\.." + dir.path() + "\\sub\\f.txt").c_str()),
            nullptr);
  EXPECT_EQ(file.openForRead(widen("\\\\?\\C:" + dir.path() + "\\sub\\f.txt").c_str()), nullptr);
  EXPECT_EQ(file.openForRead(widen("\\\\localhost\\share" + dir.path()).c_str()), nullptr);
  EXPECT_EQ(file.openForRead(widen(dir.shown() + "\\missing").c_str()), nullptr);
  EXPECT_FALSE(dir.exists("missing"));
}

TEST_F(FullPath, AnUnprefixedNameOpensNothingLeftFromALongerOne) {
  dir.write("sub/f.txt", "f");
  std::string unprefixed = dir.shown().substr(4) + "\\sub\\f";
  SimpleFile file;
  ASSERT_NE(file.openForRead(widen(unprefixed + ".txt").c_str()), nullptr);
  CloseHandle(file.handle);
  EXPECT_EQ(file.openForRead(widen(unprefixed).c_str()), nullptr);
}

TEST(OemText, EveryByteSurvivesTheRoundTrip) {
  char bytes[256];
  for (int i = 0; i < 255; ++i) bytes[i] = static_cast<char>(i + 1);
  bytes[255] = 0;
  char16_t wide[256];
  EXPECT_EQ(oemToWide(bytes, wide, 256), 256);
  EXPECT_EQ(wide[0x7F], 0x80);
  char back[256];
  EXPECT_EQ(WideCharToMultiByte(CP_OEMCP, 0, wide, -1, back, 256, nullptr, nullptr), 256);
  EXPECT_EQ(std::string(back), std::string(bytes));
  EXPECT_EQ(oemToWide(bytes, wide, 255), 0);
  EXPECT_EQ(wide[0], 0);
}

}  // namespace
