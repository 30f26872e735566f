#include "name_pattern.h"

namespace {

bool sameCharacter(char patternByte, char nameByte) {
  bool patternSeparator = patternByte == '/' || patternByte == '\\';
  bool nameSeparator = nameByte == '/' || nameByte == '\\';
  return patternSeparator ? nameSeparator : patternByte == '?' || patternByte == nameByte;
}

}  // namespace

bool matchesPattern(const char* pattern, const char* name, size_t length) {
  // After a `*`, a mismatch goes back to it and lets it take one more
  // character: only the latest star needs revisiting.
  const char* star = nullptr;
  size_t starMatched = 0;
  size_t at = 0;
  while (at < length) {
    if (*pattern == '*') {
      star = ++pattern;
      starMatched = at;
    } else if (*pattern != 0 && sameCharacter(*pattern, name[at])) {
      ++pattern;
      ++at;
    } else if (star != nullptr) {
      pattern = star;
      at = ++starMatched;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}
