#include "../os.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "../full_path.h"
#include "handle.h"

int getFileIdentity(HANDLE file, FileIdentity* identity) {
  struct stat status;
  if (!statusOf(file, &status)) return 0;
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
  // Each file's bytes are a block of their own, freed when it is done. By
  // default the C library gives the top of the heap back after such a free,
  // and blocks of 128 KiB and more are mappings of their own, so every file
  // would cost new pages, each zeroed on first touch. Kept, they serve the
  // next file.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

void bufferStandardOutput() {
  if (isatty(1)) {
    setvbuf(stdout, nullptr, _IOLBF, 1 << 12);
  } else {
    // Given no buffer, the C library keeps its own of the file's block size,
    // a few KiB, whatever size is asked for.
    static char buffer[1 << 16];
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  }
}

const char* printableText(const char16_t* text, size_t* length) {
  return narrowText(text, wideLength(text), length);
}

size_t toNativePath(const char16_t* resolved, char16_t* native) {
  size_t from = 0;
  // Only Z: paths name Linux files: their root is `/`. Others keep their form.
  // The drive is kept as written, so z: is Z:.
  if (hasLongPathPrefix(resolved)) {
    const char16_t* drive = resolved + 4;
    bool linuxFile =
        (drive[0] == u'Z' || drive[0] == u'z') && drive[1] == u':' && drive[2] == u'\\';
    from = linuxFile ? 6 : 4;
  }
  return copyPathSeparated(resolved + from, u'/', native);
}

const char* systemErrorText(DWORD code) {
  return strerror(errnoOf(code));
}
