#include "../os.h"

#include <cstdio>

int getFileIdentity(HANDLE file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return 0;
  identity->volume = information.dwVolumeSerialNumber;
  identity->index =
      (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return 1;
}

void printWide(const char* format, const char16_t* text) {
  // The tool's formats are short literals; a longer one is cut, never overrun.
  wchar_t wideFormat[128];
  size_t length = 0;
  while (format[length] != 0 && length + 1 < sizeof wideFormat / sizeof wideFormat[0]) {
    wideFormat[length] = static_cast<unsigned char>(format[length]);
    ++length;
  }
  wideFormat[length] = 0;
  // libstdc++ turns on MinGW's own stdio, whose wprintf reads %s as narrow
  // text; this is the C runtime's wprintf, where %s is wide.
  __ms_wprintf(wideFormat, reinterpret_cast<const wchar_t*>(text));
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
