#include "../os.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "handle.h"

int getFileIdentity(HANDLE file, FileIdentity* identity) {
  struct stat status;
  if (fstat(descriptorOf(file), &status) != 0) return 0;
  identity->volume = static_cast<uint64_t>(status.st_dev);
  identity->index = static_cast<uint64_t>(status.st_ino);
  return 1;
}

void printWide(const char* format, const char16_t* text) {
  const char* conversion = strstr(format, "%s");
  fwrite(format, 1, static_cast<size_t>(conversion - format), stdout);
  for (const char16_t* unit = text; *unit != 0; ++unit) {
    putc_unlocked(*unit <= 0xFF ? static_cast<int>(*unit) : '?', stdout);
  }
  fputs(conversion + 2, stdout);
}

const char* systemErrorText(DWORD code) {
  return strerror(errnoOf(code));
}
