#include "winapi.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "handle.h"

namespace {

DWORD lastError = NO_ERROR;

// The status of the regular file last opened for reading only, taken at its
// open; descriptor -1 when none. Such a file is asked for its type, size and
// identity right after, and none of them can change while it is open, since
// the inputs of a run do not change: the answer spares those system calls.
struct OpenedStatus {
  int descriptor = -1;
  struct stat status;
};
OpenedStatus lastOpened;

struct ErrorPair {
  int errnoValue;
  DWORD code;
};

// First match wins in both directions, so the usual errno for a code comes first.
constexpr ErrorPair kErrors[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EROFS, ERROR_WRITE_PROTECT},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {EEXIST, ERROR_FILE_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ERANGE, ERROR_INSUFFICIENT_BUFFER},
    {EILSEQ, ERROR_INVALID_NAME},
    {EINVAL, ERROR_NEGATIVE_SEEK},
    {ESPIPE, ERROR_SEEK_ON_DEVICE},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EPIPE, ERROR_BROKEN_PIPE},
};

bool fail(DWORD code) {
  lastError = code;
  return false;
}

bool failWithErrno() {
  return fail(errorCodeOf(errno));
}

bool isSeparator(char16_t unit) {
  return unit == u'\\' || unit == u'/';
}

bool isLongPathPrefix(const char16_t* name) {
  return name[0] == u'\\' && name[1] == u'\\' && name[2] == u'?' && name[3] == u'\\';
}

bool isDrive(const char16_t* text) {
  return ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z')) &&
         text[1] == u':';
}

// The end of the separators that start `text`.
const char16_t* skipSeparators(const char16_t* text) {
  while (isSeparator(*text)) ++text;
  return text;
}

size_t segmentLength(const char16_t* text) {
  size_t length = 0;
  while (text[length] != 0 && !isSeparator(text[length])) ++length;
  return length;
}

// A resolved path being built: a root that `..` never climbs above, then
// segments, each after one `\`. The root is kept as written but for its
// separators, which become `\`: a network root `\\server\share` ends in a
// separator only when one follows it in the name. Roomier than any caller's
// buffer, so that whether the result fits is decided on the finished text.
// Invariant: length_ < kRoom, so the terminator always has room.
class ResolvedPath {
 public:
  void appendRoot(const char16_t* text, size_t length) {
    for (size_t i = 0; i < length && !overflowed_; ++i) {
      append(isSeparator(text[i]) ? u"\\" : text + i, 1);
    }
    rootLength_ = length_;
  }
  void reset() {
    length_ = 0;
    rootLength_ = 0;
    overflowed_ = false;
  }

  void appendSegments(const char16_t* text) {
    while (*text != 0) {
      text = skipSeparators(text);
      size_t length = segmentLength(text);
      if (length > 0) appendSegment(text, length);
      text += length;
    }
  }

  void appendCurrentDirectory() {
    appendRoot(u"Z:\\", 3);
    static char directory[PATH_MAX];
    if (getcwd(directory, sizeof directory) == nullptr) return;
    static char16_t wide[PATH_MAX];
    size_t length = strlen(directory);
    for (size_t i = 0; i <= length; ++i) wide[i] = static_cast<unsigned char>(directory[i]);
    appendSegments(wide);
  }

  void finish(bool trailingSeparator) {
    if (trailingSeparator) appendSeparator();
  }

  bool overflowed() const { return overflowed_; }
  size_t length() const { return length_; }
  // Terminated here: a reset or a `..` leaves earlier units past the end.
  const char16_t* text() {
    text_[length_] = 0;
    return text_;
  }

 private:
  void appendSegment(const char16_t* segment, size_t length) {
    if (length == 1 && segment[0] == u'.') return;
    if (length == 2 && segment[0] == u'.' && segment[1] == u'.') {
      while (length_ > rootLength_ && text_[length_ - 1] != u'\\') --length_;
      if (length_ > rootLength_) --length_;
      return;
    }
    appendSeparator();
    append(segment, length);
  }

  void appendSeparator() {
    if (length_ == 0 || text_[length_ - 1] != u'\\') append(u"\\", 1);
  }

  void append(const char16_t* text, size_t length) {
    if (length > kRoom - 1 - length_) {
      overflowed_ = true;
      return;
    }
    memcpy(text_ + length_, text, length * sizeof(char16_t));
    length_ += length;
  }

 public:
  static constexpr size_t kRoom = 1 << 17;

 private:
  char16_t text_[kRoom];
  size_t length_ = 0;
  size_t rootLength_ = 0;
  bool overflowed_ = false;
};

// True, with its length, when `name` resolves to itself: a prefixed drive
// path whose segments are each after one `\` and none of which is empty,
// `.` or `..` or holds a `/`. Most candidates are, and need no resolution.
bool resolvesToItself(const char16_t* name, size_t* length) {
  if (!isLongPathPrefix(name) || !isDrive(name + 4) || name[6] != u'\\') return false;
  size_t at = 6;
  while (at < ResolvedPath::kRoom - 1) {
    size_t start = ++at;
    while (name[at] != 0 && !isSeparator(name[at])) ++at;
    size_t units = at - start;
    bool dots = name[start] == u'.' && (units == 1 || (units == 2 && name[start + 1] == u'.'));
    if (units == 0 || dots || name[at] == u'/') return false;
    if (name[at] == 0) {
      *length = at;
      return at < ResolvedPath::kRoom;
    }
  }
  return false;
}

// Resolves `name` into `path`; 0 when the name has no resolution. The roots
// are those of Windows: `\\?\` and `\\.\` (devices), `\\server\share\`
// with the separators after each part, `X:\`, and the current directory.
bool resolve(const char16_t* name, ResolvedPath* path) {
  if (name[0] == 0) return fail(ERROR_INVALID_NAME);
  const char16_t* rest = name;
  bool deviceOrNetwork = isSeparator(name[0]) && isSeparator(name[1]);
  bool device = deviceOrNetwork && (name[2] == u'.' || name[2] == u'?');
  if (device && isSeparator(name[3])) {
    const char16_t* drive = skipSeparators(name + 4);
    if (name[2] == u'?' && isDrive(drive) && (drive[2] == 0 || isSeparator(drive[2]))) {
      // Z: holds the Linux files, so `..` keeps to a prefixed drive's root.
      path->appendRoot(name, 4);
      path->appendRoot(drive, isSeparator(drive[2]) ? 3 : 2);
      rest = drive + 2;
    } else {
      path->appendRoot(name, 4);
      rest = name + 4;
    }
  } else if (device && name[3] == 0) {
    path->appendRoot(u"\\\\.\\", 4);
    rest = name + 3;
  } else if (deviceOrNetwork) {
    rest = name + 2;
    rest = skipSeparators(rest + segmentLength(rest));
    rest = skipSeparators(rest + segmentLength(rest));
    path->appendRoot(name, static_cast<size_t>(rest - name));
  } else if (isSeparator(name[0])) {
    path->appendRoot(u"Z:\\", 3);
  } else if (isDrive(name)) {
    bool currentDrive = name[0] == u'Z' || name[0] == u'z';
    if (currentDrive && !isSeparator(name[2])) {
      path->appendCurrentDirectory();
    } else {
      path->appendRoot(name, 2);
      path->appendRoot(u"\\", 1);
    }
    rest = name + 2;
  } else {
    path->appendCurrentDirectory();
  }
  path->appendSegments(rest);
  size_t restLength = 0;
  while (rest[restLength] != 0) ++restLength;
  path->finish(restLength > 0 && isSeparator(rest[restLength - 1]));
  if (path->overflowed()) return fail(ERROR_FILENAME_EXCED_RANGE);
  return true;
}

// The Linux path of a Z: path, bare or in the device form `\\.\Z:`. A prefixed path is taken
// literally, as Windows takes it: only `\` separates, and empty, `.` and `..` segments name
// nothing. Any other path is resolved first, which leaves it in that form.
bool linuxPathOf(const char16_t* name, char* linuxPath, size_t room) {
  static ResolvedPath resolved;
  const char16_t* path = name + 4;
  if (!isLongPathPrefix(name)) {
    resolved.reset();
    if (!resolve(name, &resolved)) return false;
    path = resolved.text();
    // The device form of a drive's path names the same file.
    if (path[0] == u'\\' && path[1] == u'\\' && path[2] == u'.' && path[3] == u'\\') path += 4;
  }
  if ((path[0] != u'Z' && path[0] != u'z') || path[1] != u':' ||
      (path[2] != 0 && path[2] != u'\\')) {
    return fail(ERROR_PATH_NOT_FOUND);
  }
  size_t length = 0;
  for (const char16_t* segment = path + 2; *segment == u'\\';) {
    ++segment;
    size_t segmentUnits = 0;
    while (segment[segmentUnits] != 0 && segment[segmentUnits] != u'\\') ++segmentUnits;
    bool last = segment[segmentUnits] == 0;
    bool dots = (segmentUnits == 1 && segment[0] == u'.') ||
                (segmentUnits == 2 && segment[0] == u'.' && segment[1] == u'.');
    if ((segmentUnits == 0 && !last) || dots) return fail(ERROR_INVALID_NAME);
    if (length + 1 + segmentUnits >= room) return fail(ERROR_FILENAME_EXCED_RANGE);
    linuxPath[length++] = '/';
    for (size_t i = 0; i < segmentUnits; ++i) {
      if (segment[i] > 0xFF || segment[i] == u'/') return fail(ERROR_INVALID_NAME);
      linuxPath[length++] = static_cast<char>(segment[i]);
    }
    segment += segmentUnits;
  }
  if (length == 0) linuxPath[length++] = '/';
  linuxPath[length] = 0;
  return true;
}

HANDLE openLinuxPath(const char* path, DWORD access, DWORD creation) {
  int flags = O_CLOEXEC;
  bool reads = (access & GENERIC_READ) != 0;
  bool writes = (access & GENERIC_WRITE) != 0;
  if (reads && writes) {
    flags |= O_RDWR;
  } else if (writes) {
    flags |= O_WRONLY;
  } else if (reads) {
    flags |= O_RDONLY;
  } else {
    flags |= O_PATH;
  }
  if (creation == CREATE_ALWAYS && !(flags & O_PATH)) {
    flags |= O_CREAT | O_TRUNC;
  } else if (creation == CREATE_NEW && !(flags & O_PATH)) {
    flags |= O_CREAT | O_EXCL;
  } else if (creation != OPEN_EXISTING) {
    fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Opening a FIFO for reading would wait for a writer; without one, the
  // reads that follow simply find its end.
  bool readOnly = reads && !writes;
  if (readOnly) flags |= O_NONBLOCK;
  // A file made new is the tool's temporary one: private to its owner until
  // MoveFileExA or ReplaceFileA gives it its name and mode.
  mode_t mode = creation == CREATE_NEW ? 0600 : 0666;
  int descriptor;
  do {
    descriptor = open(path, flags, mode);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) {
    failWithErrno();
    return INVALID_HANDLE_VALUE;
  }
  // A directory is not a file to open, as on Windows without backup semantics.
  // A regular file ignores O_NONBLOCK, so only other files pay to clear it.
  struct stat status;
  // F_SETFL takes the open's own flags, less the one that is done with.
  if (fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode) ||
      (readOnly && !S_ISREG(status.st_mode) &&
       fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
    close(descriptor);
    fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (readOnly && S_ISREG(status.st_mode)) {
    lastOpened = {descriptor, status};
  } else if (descriptor == lastOpened.descriptor) {
    // The number is free again, so the file it named was closed.
    lastOpened.descriptor = -1;
  }
  return handleOf(descriptor);
}

}  // namespace

int statusOf(HANDLE file, struct stat* status) {
  int descriptor = descriptorOf(file);
  if (descriptor == lastOpened.descriptor) {
    *status = lastOpened.status;
    return 1;
  }
  return fstat(descriptor, status) == 0 || failWithErrno();
}

DWORD errorCodeOf(int errnoValue) {
  for (const ErrorPair& pair : kErrors) {
    if (pair.errnoValue == errnoValue) return pair.code;
  }
  return ERROR_ACCESS_DENIED;
}

int errnoOf(DWORD code) {
  for (const ErrorPair& pair : kErrors) {
    if (pair.code == code) return pair.errnoValue;
  }
  return EIO;
}

HANDLE CreateFileA(const char* name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD creation,
                   DWORD, HANDLE) {
  return openLinuxPath(name, access, creation);
}

HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD creation,
                   DWORD, HANDLE) {
  static char linuxPath[1 << 16];
  if (!linuxPathOf(name, linuxPath, sizeof linuxPath)) return INVALID_HANDLE_VALUE;
  return openLinuxPath(linuxPath, access, creation);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* done, OVERLAPPED*) {
  DWORD total = 0;
  bool ok = true;
  while (total < count) {
    ssize_t got = read(descriptorOf(file), static_cast<char*>(buffer) + total, count - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = failWithErrno();
    if (got <= 0) break;
    total += static_cast<DWORD>(got);
  }
  *done = total;
  return ok;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* done, OVERLAPPED*) {
  DWORD total = 0;
  bool ok = true;
  while (total < count) {
    ssize_t put =
        write(descriptorOf(file), static_cast<const char*>(buffer) + total, count - total);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      ok = put < 0 ? failWithErrno() : fail(ERROR_DISK_FULL);
      break;
    }
    total += static_cast<DWORD>(put);
  }
  *done = total;
  return ok;
}

DWORD GetFileType(HANDLE file) {
  struct stat status;
  if (!statusOf(file, &status)) return FILE_TYPE_UNKNOWN;
  if (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(status.st_mode)) return FILE_TYPE_CHAR;
  return FILE_TYPE_PIPE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  int64_t offset = distance;
  if (distanceHigh != nullptr) {
    offset =
        static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                             static_cast<uint32_t>(distance));
  }
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  off_t position = lseek(descriptorOf(file), static_cast<off_t>(offset), whence);
  if (position < 0) {
    failWithErrno();
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(position >> 32);
  DWORD low = static_cast<DWORD>(position);
  // A real position whose low half looks like the failure value says so.
  if (low == INVALID_SET_FILE_POINTER) lastError = NO_ERROR;
  return low;
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
  struct stat status;
  if (!statusOf(file, &status)) return false;
  if (S_ISREG(status.st_mode)) {
    size->QuadPart = status.st_size;
    return true;
  }
  if (!S_ISBLK(status.st_mode)) return fail(ERROR_INVALID_FUNCTION);
  // A device's size is where its end is.
  int descriptor = descriptorOf(file);
  off_t position = lseek(descriptor, 0, SEEK_CUR);
  off_t end = position < 0 ? -1 : lseek(descriptor, 0, SEEK_END);
  if (end < 0 || lseek(descriptor, position, SEEK_SET) < 0) return failWithErrno();
  size->QuadPart = end;
  return true;
}

BOOL CloseHandle(HANDLE handle) {
  if (descriptorOf(handle) == lastOpened.descriptor) lastOpened.descriptor = -1;
  return close(descriptorOf(handle)) == 0 || failWithErrno();
}

HANDLE GetStdHandle(DWORD which) {
  return handleOf(which == STD_OUTPUT_HANDLE ? 1 : which == STD_ERROR_HANDLE ? 2 : 0);
}

DWORD GetCurrentProcessId() {
  return static_cast<DWORD>(getpid());
}

BOOL DeleteFileA(const char* name) {
  return unlink(name) == 0 || failWithErrno();
}

BOOL MoveFileExA(const char* from, const char* to, DWORD flags) {
  if (flags != MOVEFILE_REPLACE_EXISTING) return fail(ERROR_INVALID_PARAMETER);
  // The file takes the mode a file created under its new name would have.
  mode_t mask = umask(0);
  umask(mask);
  if (chmod(from, 0666 & ~mask) != 0) return failWithErrno();
  return rename(from, to) == 0 || failWithErrno();
}

BOOL ReplaceFileA(const char* replaced, const char* replacement, const char* backup, DWORD flags,
                  void*, void*) {
  if (backup != nullptr || flags != 0) return fail(ERROR_INVALID_PARAMETER);
  struct stat status;
  if (stat(replaced, &status) != 0) return failWithErrno();
  // Only the owner or a privileged process may give the file away; the
  // mode goes after, since a change of owner clears the set-id bits.
  if (chown(replacement, status.st_uid, status.st_gid) != 0) {
    (void)!chown(replacement, static_cast<uid_t>(-1), status.st_gid);
  }
  if (chmod(replacement, status.st_mode & 07777) != 0) return failWithErrno();
  return rename(replacement, replaced) == 0 || failWithErrno();
}

DWORD GetFileAttributesA(const char* name) {
  struct stat status;
  if (lstat(name, &status) != 0) {
    failWithErrno();
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISLNK(status.st_mode)) return FILE_ATTRIBUTE_REPARSE_POINT;
  return S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetFinalPathNameByHandleA(HANDLE file, char* name, DWORD room, DWORD) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", descriptorOf(file));
  static char target[PATH_MAX];
  ssize_t length = readlink(link, target, sizeof target);
  if (length < 0) return failWithErrno();
  if (static_cast<size_t>(length) == sizeof target) return fail(ERROR_FILENAME_EXCED_RANGE);
  // Windows asks for room for the terminator too.
  if (static_cast<DWORD>(length) >= room) return static_cast<DWORD>(length) + 1;
  memcpy(name, target, static_cast<size_t>(length));
  name[length] = 0;
  return static_cast<DWORD>(length);
}

DWORD GetLastError() {
  return lastError;
}

void SetLastError(DWORD code) {
  lastError = code;
}

DWORD GetFullPathNameW(const char16_t* name, DWORD bufferChars, char16_t* buffer,
                       char16_t** filePart) {
  static ResolvedPath path;
  size_t length = 0;
  const char16_t* resolved = name;
  if (!resolvesToItself(name, &length)) {
    path.reset();
    if (!resolve(name, &path)) return 0;
    length = path.length();
    resolved = path.text();
  }
  if (length + 1 > bufferChars) return static_cast<DWORD>(length + 1);
  memcpy(buffer, resolved, length * sizeof(char16_t));
  buffer[length] = 0;
  if (filePart != nullptr) {
    size_t last = length;
    while (last > 0 && buffer[last - 1] != u'\\') --last;
    *filePart = last < length ? buffer + last : nullptr;
  }
  return static_cast<DWORD>(length);
}

int MultiByteToWideChar(UINT, DWORD, const char* text, int bytes, char16_t* wide, int wideChars) {
  size_t count = bytes < 0 ? strlen(text) + 1 : static_cast<size_t>(bytes);
  if (count > INT_MAX) return fail(ERROR_INVALID_PARAMETER);
  if (wideChars == 0) return static_cast<int>(count);
  if (count > static_cast<size_t>(wideChars)) return fail(ERROR_INSUFFICIENT_BUFFER);
  for (size_t i = 0; i < count; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  return static_cast<int>(count);
}

int WideCharToMultiByte(UINT, DWORD, const char16_t* wide, int wideChars, char* text, int bytes,
                        const char* defaultChar, BOOL* usedDefault) {
  size_t count = 0;
  if (wideChars < 0) {
    while (wide[count] != 0) ++count;
    ++count;
  } else {
    count = static_cast<size_t>(wideChars);
  }
  if (count > INT_MAX) return fail(ERROR_INVALID_PARAMETER);
  if (bytes == 0) return static_cast<int>(count);
  if (count > static_cast<size_t>(bytes)) return fail(ERROR_INSUFFICIENT_BUFFER);
  if (usedDefault != nullptr) *usedDefault = false;
  for (size_t i = 0; i < count; ++i) {
    if (wide[i] <= 0xFF) {
      text[i] = static_cast<char>(wide[i]);
    } else {
      text[i] = defaultChar != nullptr ? *defaultChar : '?';
      if (usedDefault != nullptr) *usedDefault = true;
    }
  }
  return static_cast<int>(count);
}

// Directory listing.

namespace {

// A find handle is the listing's DIR*; a name always fits, as Linux names
// are at most 255 bytes.
BOOL nextName(DIR* directory, WIN32_FIND_DATAW* data, DWORD atEnd) {
  errno = 0;
  const dirent* entry = readdir(directory);
  if (entry == nullptr) return errno != 0 ? failWithErrno() : fail(atEnd);
  size_t length = strlen(entry->d_name);
  for (size_t i = 0; i <= length; ++i) {
    data->cFileName[i] = static_cast<unsigned char>(entry->d_name[i]);
  }
  data->cAlternateFileName[0] = 0;
  return true;
}

}  // namespace

HANDLE FindFirstFileW(const char16_t* pattern, WIN32_FIND_DATAW* data) {
  size_t length = 0;
  while (pattern[length] != 0) ++length;
  if (length < 2 || pattern[length - 2] != u'\\' || pattern[length - 1] != u'*') {
    fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // The pattern's last segment, `*`, is mapped with the directory and cut
  // off: `/dir/*` lists `/dir`, and `/*` lists `/`.
  static char linuxPath[1 << 16];
  if (!linuxPathOf(pattern, linuxPath, sizeof linuxPath)) return INVALID_HANDLE_VALUE;
  size_t cut = strlen(linuxPath) - 1;
  linuxPath[cut > 1 ? cut - 1 : cut] = 0;
  DIR* directory = opendir(linuxPath);
  if (directory == nullptr) {
    fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : errorCodeOf(errno));
    return INVALID_HANDLE_VALUE;
  }
  bool searchable = faccessat(AT_FDCWD, linuxPath, X_OK, AT_EACCESS) == 0 || failWithErrno();
  if (!searchable || !nextName(directory, data, ERROR_FILE_NOT_FOUND)) {
    closedir(directory);
    return INVALID_HANDLE_VALUE;
  }
  return reinterpret_cast<HANDLE>(directory);
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  return nextName(static_cast<DIR*>(find), data, ERROR_NO_MORE_FILES);
}

BOOL FindClose(HANDLE find) {
  return closedir(static_cast<DIR*>(find)) == 0 || failWithErrno();
}

DWORD GetFileAttributesW(const char16_t* name) {
  static char linuxPath[1 << 16];
  struct stat status;
  if (!linuxPathOf(name, linuxPath, sizeof linuxPath)) return INVALID_FILE_ATTRIBUTES;
  if (stat(linuxPath, &status) != 0) {
    failWithErrno();
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}
