// Windows provider of the calls the portable code uses: the real ones, plus
// overloads of the wide calls that take char16_t text. Both are UTF-16 code
// units on Windows, so the overloads only cast at the boundary.
#ifndef TUFLAT_PLATFORM_WINDOWS_WINAPI_H
#define TUFLAT_PLATFORM_WINDOWS_WINAPI_H

// libstdc++ may have defined these already, with a value of its own.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>

static_assert(sizeof(char16_t) == sizeof(wchar_t), "wide text is UTF-16 on Windows");

inline HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD share,
                          SECURITY_ATTRIBUTES* security, DWORD creation, DWORD flags,
                          HANDLE templateFile) {
  return ::CreateFileW(reinterpret_cast<const wchar_t*>(name), access, share, security, creation,
                       flags, templateFile);
}

inline HANDLE FindFirstFileW(const char16_t* pattern, WIN32_FIND_DATAW* data) {
  return ::FindFirstFileW(reinterpret_cast<const wchar_t*>(pattern), data);
}

inline DWORD GetFileAttributesW(const char16_t* name) {
  return ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(name));
}

inline DWORD GetFullPathNameW(const char16_t* name, DWORD bufferChars, char16_t* buffer,
                              char16_t** filePart) {
  return ::GetFullPathNameW(reinterpret_cast<const wchar_t*>(name), bufferChars,
                            reinterpret_cast<wchar_t*>(buffer),
                            reinterpret_cast<wchar_t**>(filePart));
}

inline int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                               char16_t* wide, int wideChars) {
  return ::MultiByteToWideChar(codePage, flags, text, bytes, reinterpret_cast<wchar_t*>(wide),
                               wideChars);
}

// The measuring form, called with no buffer: a bare nullptr would fit both the
// wchar_t and the char16_t declarations equally well.
inline int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                               std::nullptr_t, int wideChars) {
  return ::MultiByteToWideChar(codePage, flags, text, bytes, static_cast<wchar_t*>(nullptr),
                               wideChars);
}

inline int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* wide, int wideChars,
                               char* text, int bytes, const char* defaultChar, BOOL* usedDefault) {
  return ::WideCharToMultiByte(codePage, flags, reinterpret_cast<const wchar_t*>(wide), wideChars,
                               text, bytes, defaultChar, usedDefault);
}

#endif
