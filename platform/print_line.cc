#include "print_line.h"

#include <cstdio>
#include <cstring>
#include <new>

LineFormat splitFormat(const char* format) {
  // Formats are a few bytes: a plain walk costs less than strstr and strlen.
  LineFormat parts = {0, nullptr, 0};
  while (format[parts.prefix] != '%' || format[parts.prefix + 1] != 's') ++parts.prefix;
  parts.suffix = format + parts.prefix + 2;
  while (parts.suffix[parts.suffixLength] != 0) ++parts.suffixLength;
  return parts;
}

void printLine(const char* format, const char* text, size_t length) {
  LineFormat parts = splitFormat(format);
  size_t whole = parts.prefix + length + parts.suffixLength;
  char line[4096];
  if (whole > sizeof line) {
    fwrite(format, 1, parts.prefix, stdout);
    fwrite(text, 1, length, stdout);
    fwrite(parts.suffix, 1, parts.suffixLength, stdout);
    return;
  }
  memcpy(line, format, parts.prefix);
  if (length > 0) memcpy(line + parts.prefix, text, length);
  memcpy(line + parts.prefix + length, parts.suffix, parts.suffixLength);
  fwrite(line, 1, whole, stdout);
}

char* textRoom(size_t count) {
  static char* block = nullptr;
  static size_t room = 0;
  if (count > room) {
    delete[] block;
    room = count;
    block = new (std::nothrow) char[room];
    if (block == nullptr) room = 0;
  }
  return block;
}
