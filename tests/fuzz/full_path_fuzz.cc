// Fuzz target: full-path resolution. The first byte picks the destination's
// size, the rest is the source, one byte per character. A result is the bare
// prefix or a clean path that fits and that resolves to itself.
#include <cstdint>
#include <string>
#include <vector>

#include "../../platform/full_path.h"
#include "check.h"

namespace {

bool isDriveLetter(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z');
}

// Where the root ends: the device roots `\\?\` and `\\.\` (with the drive
// after `\\?\`, which `..` does not climb), or `\\server\share` with the
// separators that follow each of its parts.
size_t rootEnd(const std::u16string& path) {
  if (path.size() >= 4 && (path[2] == u'?' || path[2] == u'.') && path[3] == u'\\') {
    bool drive = path[2] == u'?' && path.size() >= 6 && isDriveLetter(path[4]) && path[5] == u':' &&
                 (path.size() == 6 || path[6] == u'\\');
    if (!drive) return 4;
    return path.size() == 6 ? 6 : 7;
  }
  size_t end = 2;
  for (int part = 0; part < 2; ++part) {
    while (end < path.size() && path[end] != u'\\') ++end;
    while (end < path.size() && path[end] == u'\\') ++end;
  }
  return end;
}

std::u16string resolve(const std::u16string& source, size_t destinationBytes) {
  std::vector<char16_t> destination(destinationBytes / sizeof(char16_t));
  size_t length = resolveFullPath(source.c_str(), destination.data(), destinationBytes);
  FUZZ_CHECK(length == wideLength(destination.data()));
  FUZZ_CHECK(length < destination.size());
  return std::u16string(destination.data(), length);
}

void checkClean(const std::u16string& path) {
  FUZZ_CHECK(path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\');
  FUZZ_CHECK(path.find(u'/') == std::u16string::npos);
  size_t start = rootEnd(path);
  while (start < path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    std::u16string segment = path.substr(start, end - start);
    // Empty only as the last, after a trailing separator.
    FUZZ_CHECK(!segment.empty() || end == path.size());
    FUZZ_CHECK(segment != u"." && segment != u"..");
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // Room for the prefix and its terminator at least, up to a work buffer.
  size_t destinationBytes = data[0] < 0x80 ? 10 + 2 * size_t{data[0]} : 65536;
  std::u16string source;
  for (size_t i = 1; i < size && data[i] != 0; ++i) source.push_back(data[i]);
  std::u16string resolved = resolve(source, destinationBytes);
  if (resolved != u"\\\\?\\") checkClean(resolved);
  FUZZ_CHECK(resolve(resolved, destinationBytes) == resolved);
  return 0;
}
