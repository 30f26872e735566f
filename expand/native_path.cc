#include "native_path.h"

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
