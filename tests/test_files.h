// Scratch directories and whole-file reads and writes for the tests.
#ifndef TUFLAT_TESTS_TEST_FILES_H
#define TUFLAT_TESTS_TEST_FILES_H

#include <string>

// A fresh directory under the system's temporary directory, removed with all
// its contents when the object goes away.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  // Writes `contents` to the relative path `name`, creating its directories.
  std::string write(const std::string& name, const std::string& contents) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  // The directory as the tool prints it: `\\?\Z:` and backslashes.
  std::string shown() const;

 private:
  std::string path_;
};

// Lines `int vN;` numbered from 0, at least `bytes` of them in all.
std::string numberedLines(size_t bytes);

std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& contents);

#endif
