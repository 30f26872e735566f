#include "native_path.h"

#include <cstring>
#include <new>

#include "../platform/full_path.h"
#include "../platform/os.h"

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

// The current directory's native spelling, had once; null when it cannot be.
const char* currentDirectoryText() {
  static char* text = nullptr;
  static bool tried = false;
  if (!tried) {
    tried = true;
    constexpr size_t kChars = 32768;
    auto* resolved = new (std::nothrow) char16_t[kChars];
    if (resolved != nullptr && resolveFullPath(u".", resolved, kChars * sizeof(char16_t)) > 4) {
      text = nativePathText(resolved);
    }
    delete[] resolved;
  }
  return text;
}

}  // namespace

char* shownPathText(const char16_t* resolved) {
  char* native = nativePathText(resolved);
  const char* directory = currentDirectoryText();
  if (native == nullptr || directory == nullptr) return native;
  size_t length = strlen(directory);
  // A root such as `/` or `C:\` ends with its separator already.
  bool endsWithSeparator =
      length > 0 && (directory[length - 1] == '/' || directory[length - 1] == '\\');
  size_t skip = endsWithSeparator ? length : length + 1;
  if (strncmp(native, directory, length) != 0 || strlen(native) <= skip ||
      (!endsWithSeparator && native[length] != '/' && native[length] != '\\')) {
    return native;
  }
  memmove(native, native + skip, strlen(native + skip) + 1);
  return native;
}
