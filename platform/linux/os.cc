#include "../os.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "../full_path.h"
#include "handle.h"

int getFileIdentity(HANDLE file, FileIdentity* identity) {
  struct stat status;
  if (fstat(descriptorOf(file), &status) != 0) return 0;
  identity->volume = static_cast<uint64_t>(status.st_dev);
  identity->index = static_cast<uint64_t>(status.st_ino);
  return 1;
}

void prepareProcess() {
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1) continue;
    // open() takes the lowest free descriptor, which is this one.
    int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != descriptor) close(opened);
  }
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

void bufferStandardOutput() {
  if (isatty(1)) {
    setvbuf(stdout, nullptr, _IOLBF, 1 << 12);
  } else {
    setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  }
}

void printWide(const char* format, const char16_t* text) {
  const char* conversion = strstr(format, "%s");
  fwrite(format, 1, static_cast<size_t>(conversion - format), stdout);
  for (const char16_t* unit = text; *unit != 0; ++unit) {
    putc_unlocked(*unit <= 0xFF ? static_cast<int>(*unit) : '?', stdout);
  }
  fputs(conversion + 2, stdout);
}

size_t toNativePath(const char16_t* resolved, char16_t* native) {
  static const char16_t kDriveRoot[] = u"\\\\?\\Z:\\";
  size_t from = 0;
  size_t length = 0;
  // Only Z: paths name Linux files: their root is `/`. Others keep their form.
  if (startsWith(resolved, kDriveRoot)) {
    from = 6;
  } else if (hasLongPathPrefix(resolved)) {
    from = 4;
  }
  for (; resolved[from] != 0; ++from) {
    native[length++] = resolved[from] == u'\\' ? u'/' : resolved[from];
  }
  native[length] = 0;
  return length;
}

const char* systemErrorText(DWORD code) {
  return strerror(errnoOf(code));
}
