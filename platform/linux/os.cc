#include "../os.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

int isRegularFile(HANDLE file) {
  struct stat status;
  return statusOf(file, &status) && S_ISREG(status.st_mode);
}

namespace {

// Read by the signal handler, which may run at any moment: the name is only
// changed while `removalArmed` is 0.
char removedName[PATH_MAX];
volatile sig_atomic_t removalArmed = 0;

void removeAndEnd(int signalNumber) {
  if (removalArmed) unlink(removedName);
  // SA_RESETHAND gave the signal its default action back; it is blocked
  // until the handler returns, and then ends the process.
  raise(signalNumber);
}

void catchInterruptions() {
  static bool caught = false;
  if (caught) return;
  caught = true;
  struct sigaction action = {};
  action.sa_handler = removeAndEnd;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  static const int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};
  for (int signalNumber : kInterruptions) {
    struct sigaction previous;
    // A signal the parent ignores (a background job's SIGINT) stays ignored.
    if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      sigaction(signalNumber, &action, nullptr);
    }
  }
}

}  // namespace

int removeOnInterruption(const char* name) {
  removalArmed = 0;
  if (name == nullptr) return 1;
  size_t length = strlen(name);
  if (length >= sizeof removedName) return 0;
  memcpy(removedName, name, length + 1);
  catchInterruptions();
  removalArmed = 1;
  return 1;
}

uint64_t writeSpans(HANDLE file, const OutputSpan* spans, uint32_t count) {
  // vector[0, filled) holds the bytes of spans[next - filled, next) not yet
  // written, the first of them perhaps in part.
  iovec vector[IOV_MAX];
  int filled = 0;
  uint32_t next = 0;
  uint64_t total = 0;
  for (;;) {
    for (; next < count && filled < IOV_MAX; ++next) {
      vector[filled++] = {const_cast<void*>(spans[next].bytes), spans[next].count};
    }
    if (filled == 0) return total;
    ssize_t put = writev(descriptorOf(file), vector, filled);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      SetLastError(put < 0 ? errorCodeOf(errno) : ERROR_DISK_FULL);
      return total;
    }
    total += static_cast<uint64_t>(put);
    int done = 0;
    for (auto left = static_cast<size_t>(put); left > 0;) {
      size_t taken = left < vector[done].iov_len ? left : vector[done].iov_len;
      vector[done].iov_base = static_cast<char*>(vector[done].iov_base) + taken;
      vector[done].iov_len -= taken;
      left -= taken;
      if (vector[done].iov_len == 0) ++done;
    }
    while (done < filled && vector[done].iov_len == 0) ++done;
    memmove(vector, vector + done, static_cast<size_t>(filled - done) * sizeof(iovec));
    filled -= done;
  }
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

HANDLE copyStandardHandle(DWORD which) {
  int standard = which == STD_INPUT_HANDLE ? 0 : 1;
  // Above the standard numbers, so that none of them is ever taken.
  int copy = fcntl(standard, F_DUPFD_CLOEXEC, 3);
  if (copy < 0) {
    SetLastError(errorCodeOf(errno));
    return INVALID_HANDLE_VALUE;
  }
  return handleOf(copy);
}

void printToStandardError() {
  fflush(stdout);
  dup2(2, 1);
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
