#include "../os.h"

#include <io.h>

#include <cstdio>
#include <cstring>

#include "../full_path.h"
#include "../print_line.h"
#include "../simple_file.h"

int getFileIdentity(HANDLE file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return 0;
  identity->volume = information.dwVolumeSerialNumber;
  identity->index =
      (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return 1;
}

int isRegularFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
         (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

namespace {

// Read by the console's handler thread: the name is only changed while
// `removalArmed` is 0.
char removedName[MAX_PATH * 4];
volatile LONG removalArmed = 0;

BOOL WINAPI removeAndEnd(DWORD) {
  // The file is open with shared deletion: it goes once the process ends.
  if (removalArmed) DeleteFileA(removedName);
  // Not handled: the default handler ends the process.
  return FALSE;
}

}  // namespace

int removeOnInterruption(const char* name) {
  removalArmed = 0;
  if (name == nullptr) return 1;
  size_t length = strlen(name);
  if (length >= sizeof removedName) return 0;
  memcpy(removedName, name, length + 1);
  static bool caught = false;
  if (!caught) caught = SetConsoleCtrlHandler(removeAndEnd, TRUE) != 0;
  removalArmed = 1;
  return 1;
}

uint64_t writeSpans(HANDLE file, const OutputSpan* spans, uint32_t count) {
  // Windows gathers only into whole aligned pages of unbuffered files, so
  // short spans are copied together; a long one goes out on its own, as does
  // one with nothing before it to join, which the caller may have gathered.
  constexpr uint64_t kGathered = 1 << 18;
  constexpr uint64_t kOnItsOwn = 1 << 16;
  static char gathered[kGathered];
  SimpleFile writer;
  writer.handle = file;
  uint64_t total = 0;
  uint64_t held = 0;
  auto sendHeld = [&] {
    uint64_t put = writer.write(gathered, held);
    total += put;
    bool whole = put == held;
    held = 0;
    return whole;
  };
  for (uint32_t at = 0; at < count; ++at) {
    const OutputSpan& span = spans[at];
    bool onItsOwn = span.count >= kOnItsOwn || (held == 0 && at + 1 == count);
    if (onItsOwn || span.count > kGathered - held) {
      if (held > 0 && !sendHeld()) return total;
    }
    if (onItsOwn) {
      uint64_t put = writer.write(span.bytes, span.count);
      total += put;
      if (put < span.count) return total;
      continue;
    }
    memcpy(gathered + held, span.bytes, span.count);
    held += span.count;
  }
  if (held > 0) sendHeld();
  return total;
}

void prepareProcess() {
  // Windows gives a missing standard handle no number that a file could take,
  // and has no signals for broken pipes or file size limits.
}

void bufferStandardOutput() {
  // The C runtime buffers a terminal fully even when asked for lines, so a
  // terminal gets each print at once.
  if (_isatty(_fileno(stdout))) {
    setvbuf(stdout, nullptr, _IONBF, 0);
  } else {
    setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  }
}

HANDLE copyStandardHandle(DWORD which) {
  HANDLE process = GetCurrentProcess();
  HANDLE copy = INVALID_HANDLE_VALUE;
  if (!DuplicateHandle(process, GetStdHandle(which), process, &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return INVALID_HANDLE_VALUE;
  }
  return copy;
}

void printToStandardError() {
  fflush(stdout);
  _dup2(_fileno(stderr), _fileno(stdout));
}

const char* printableText(const char16_t* text, size_t* length) {
  size_t units = wideLength(text);
  // Every OEM code page writes ASCII as itself, and most paths are ASCII.
  bool ascii = true;
  for (size_t at = 0; at < units; ++at) ascii &= text[at] < 0x80;
  if (ascii) return narrowText(text, units, length);
  // Converted here, not by the C runtime's wide printing, which stops at the
  // first character the C locale cannot show and loses the rest of the line.
  int needed = WideCharToMultiByte(CP_OEMCP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  char* shown = needed > 0 ? textRoom(static_cast<size_t>(needed)) : nullptr;
  int bytes = shown != nullptr
                  ? WideCharToMultiByte(CP_OEMCP, 0, text, -1, shown, needed, nullptr, nullptr)
                  : 0;
  *length = bytes > 1 ? static_cast<size_t>(bytes - 1) : 0;
  return bytes > 0 ? shown : nullptr;
}

size_t toNativePath(const char16_t* resolved, char16_t* native) {
  static const char16_t kNetworkPrefix[] = u"\\\\?\\UNC\\";
  if (startsWith(resolved, kNetworkPrefix)) {
    native[0] = u'\\';
    return 1 + copyPathSeparated(resolved + 7, u'\\', native + 1);
  }
  bool prefixed = hasLongPathPrefix(resolved) && resolved[3] == u'\\';
  return copyPathSeparated(resolved + (prefixed ? 4 : 0), u'\\', native);
}

const char* systemErrorText(DWORD code) {
  static char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  if (length == 0) {
    snprintf(text, sizeof text, "system error %lu", static_cast<unsigned long>(code));
    return text;
  }
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
  text[length] = 0;
  return text;
}
