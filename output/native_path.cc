#include "native_path.h"

#include <cstring>
#include <new>

#include "../platform/full_path.h"
#include "../platform/os.h"
#include "run_state.h"

char* nativePathText(const char16_t* resolved) {
  size_t length = wideLength(resolved);
  auto* native = new (std::nothrow) char16_t[length + 1];
  if (native == nullptr) return nullptr;
  int nativeLength = static_cast<int>(toNativePath(resolved, native));
  int bytes = WideCharToMultiByte(CP_OEMCP, 0, native, nativeLength, nullptr, 0, nullptr, nullptr);
  // A path that cannot be converted has no spelling, which is not an empty one.
  auto* text = bytes > 0 || nativeLength == 0 ? new (std::nothrow) char[bytes + 1] : nullptr;
  if (text != nullptr) {
    WideCharToMultiByte(CP_OEMCP, 0, native, nativeLength, text, bytes, nullptr, nullptr);
    text[bytes] = 0;
  }
  delete[] native;
  return text;
}

namespace {

// The current directory's native spelling, found at the first need: the
// directory does not change during a run. Null when it cannot be had.
const char* currentDirectoryText() {
  static char* text = nullptr;
  static bool looked = false;
  if (looked) return text;
  looked = true;
  auto* resolved = new (std::nothrow) char16_t[kWorkBufferChars];
  if (resolved == nullptr) return nullptr;
  resolveFullPath(u".", resolved, kWorkBufferBytes);
  text = nativePathText(resolved);
  delete[] resolved;
  return text;
}

bool isSeparator(char byte) {
  return byte == '/' || byte == '\\';
}

}  // namespace

char* relativePathText(const char16_t* resolved) {
  char* native = nativePathText(resolved);
  const char* directory = currentDirectoryText();
  if (native == nullptr || directory == nullptr) return native;
  size_t length = strlen(directory);
  if (length == 0 || strncmp(native, directory, length) != 0) return native;
  // A root such as `/` or `C:\` ends with its separator; any other
  // directory's path goes on with one.
  size_t skip = isSeparator(directory[length - 1]) ? length : length + 1;
  if (skip > length && !isSeparator(native[length])) return native;
  if (native[skip] == 0) return native;
  memmove(native, native + skip, strlen(native + skip) + 1);
  return native;
}
