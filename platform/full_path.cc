#include "full_path.h"

#include <climits>
#include <cstring>

#include "print_line.h"
#include "winapi.h"

size_t resolveFullPath(const char16_t* source, char16_t* destination, size_t destinationBytes) {
  static const char16_t kPrefix[] = u"\\\\?\\";
  memcpy(destination, kPrefix, sizeof kPrefix);
  DWORD room = static_cast<DWORD>(destinationBytes / 2 - 4);
  DWORD length = GetFullPathNameW(source, room, destination + 4, nullptr);
  if (length > room && length <= room + 4) {
    // A result that begins with two backslashes takes no prefix, so it may
    // have the prefix's room too; without it, a resolved path near the limit
    // would not resolve to itself.
    length = GetFullPathNameW(source, room + 4, destination, nullptr);
    if (length > 0 && length < room + 4 && destination[0] == u'\\' && destination[1] == u'\\') {
      return length;
    }
    memcpy(destination, kPrefix, sizeof kPrefix);
  }
  if (length == 0 || length >= room) destination[4] = 0;
  if (destination[4] == u'\\' && destination[5] == u'\\') {
    memmove(destination, destination + 4, (length + 1) * sizeof(char16_t));
  }
  return wideLength(destination);
}

size_t copyPathSeparated(const char16_t* path, char16_t separator, char16_t* copy) {
  size_t length = 0;
  for (; path[length] != 0; ++length)
    copy[length] = path[length] == u'\\' ? separator : path[length];
  copy[length] = 0;
  return length;
}

const char* narrowText(const char16_t* text, size_t units, size_t* length) {
  *length = 0;
  if (units == 0) return "";
  char* shown = textRoom(units);
  if (shown == nullptr) return nullptr;
  // No other test in the loop, and a bound held in a local that the stores
  // cannot alias, so that it narrows many characters at once.
  for (size_t at = 0; at < units; ++at) {
    shown[at] = text[at] <= 0xFF ? static_cast<char>(text[at]) : '?';
  }
  *length = units;
  return shown;
}

int oemToWide(const char* text, char16_t* wide, size_t wideChars) {
  int capacity = wideChars > INT_MAX ? INT_MAX : static_cast<int>(wideChars);
  int written = MultiByteToWideChar(CP_OEMCP, 0, text, -1, wide, capacity);
  if (written == 0) wide[0] = 0;
  return written;
}

namespace {

int toWideCounted(UINT codePage, const char* text, size_t bytes, char16_t* wide, size_t wideChars) {
  if (bytes > INT_MAX) return -1;
  if (bytes == 0) {
    if (wideChars > 0) wide[0] = 0;
    return 0;
  }
  int needed = MultiByteToWideChar(codePage, 0, text, static_cast<int>(bytes), nullptr, 0);
  if (wideChars == 0) return needed;
  if (needed <= 0 || static_cast<size_t>(needed) >= wideChars) return -1;
  MultiByteToWideChar(codePage, 0, text, static_cast<int>(bytes), wide, needed);
  wide[needed] = 0;
  return needed;
}

}  // namespace

int oemToWideCounted(const char* text, size_t bytes, char16_t* wide, size_t wideChars) {
  return toWideCounted(CP_OEMCP, text, bytes, wide, wideChars);
}

int utf8ToWideCounted(const char* text, size_t bytes, char16_t* wide, size_t wideChars) {
  return toWideCounted(CP_UTF8, text, bytes, wide, wideChars);
}
