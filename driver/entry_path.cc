#include "entry_path.h"

#include <cstring>

#include "../output/run_state.h"
#include "../platform/full_path.h"

namespace {

// The bare long-path prefix, which opens nothing.
size_t unresolvable(char16_t* destination) {
  static const char16_t kPrefix[] = u"\\\\?\\";
  memcpy(destination, kPrefix, sizeof kPrefix);
  return 0;
}

}  // namespace

const char* lastPathComponent(const char* path) {
  const char* last = path;
  for (const char* at = path; *at != 0; ++at) {
    if (*at == '/' || *at == '\\') last = at + 1;
  }
  return last;
}

bool sameIgnoringAsciiCase(const char* a, const char* b, size_t length) {
  auto lower = [](char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte;
  };
  for (size_t at = 0; at < length; ++at) {
    if (lower(a[at]) != lower(b[at])) return false;
  }
  return true;
}

bool isAbsoluteEntryPath(const char* path) {
  bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
  return path[0] == '/' || path[0] == '\\' || (letter && path[1] == ':');
}

size_t resolveEntryPath(const char* directory, const char* path, char16_t* destination) {
  char16_t* joined = ConvBuffer.wide;
  size_t length = 0;
  if (!isAbsoluteEntryPath(path)) {
    int units = utf8ToWideCounted(directory, strlen(directory), joined, kWorkBufferChars - 1);
    if (units < 0) return unresolvable(destination);
    length = static_cast<size_t>(units);
    if (length > 0) joined[length++] = u'\\';
  }
  int units = utf8ToWideCounted(path, strlen(path), joined + length, kWorkBufferChars - length);
  if (units < 0) return unresolvable(destination);
  return resolveFullPath(joined, destination, kWorkBufferBytes);
}
