#include "test_files.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tuflat-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDirectory::write(const std::string& name, const std::string& contents) const {
  std::filesystem::path file = std::filesystem::path(path_) / name;
  std::filesystem::create_directories(file.parent_path());
  writeWholeFile(file.string(), contents);
  return file.string();
}

std::string ScratchDirectory::read(const std::string& name) const {
  return readWholeFile(path_ + "/" + name);
}

bool ScratchDirectory::exists(const std::string& name) const {
  return std::filesystem::exists(path_ + "/" + name);
}

std::string ScratchDirectory::shown() const {
  std::string text = "\\\\?\\Z:" + path_;
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeWholeFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string numberedLines(size_t bytes) {
  std::string text;
  for (int i = 0; text.size() < bytes; ++i) text += "int v" + std::to_string(i) + ";\n";
  return text;
}
