// Linux provider of the Windows calls the portable code uses.
//
// Path model: the Windows path grammar with the Linux root `/` as drive Z:
// (`/home/a/x.c` is `Z:\home\a\x.c`). The "OEM code page" maps every byte to
// the code unit of the same value and back, so any bytes survive a round trip.
#ifndef TUFLAT_PLATFORM_LINUX_WINAPI_H
#define TUFLAT_PLATFORM_LINUX_WINAPI_H

#include <cstdint>

#include "win_types.h"

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~static_cast<uintptr_t>(0)))
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(0xFFFFFFFF))

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 1;
constexpr DWORD FILE_SHARE_WRITE = 2;
constexpr DWORD FILE_SHARE_DELETE = 4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr UINT CP_OEMCP = 1;
// Text in a compilation database. Linux names are bytes, which every code
// page here keeps as they are.
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD FILE_TYPE_UNKNOWN = 0;
constexpr DWORD FILE_TYPE_DISK = 1;
constexpr DWORD FILE_TYPE_CHAR = 2;
constexpr DWORD FILE_TYPE_PIPE = 3;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 1;
constexpr DWORD FILE_NAME_NORMALIZED = 0;
constexpr DWORD VOLUME_NAME_DOS = 0;
constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_SEEK_ON_DEVICE = 132;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

// Opens with O_PATH when the access is 0 (enough to identify a file), never
// opens a directory, and supports OPEN_EXISTING, CREATE_ALWAYS and CREATE_NEW
// (whose file only its owner may read or write).
// A file created gets mode 0666 less the umask. A FIFO opened for reading
// does not wait for a writer.
HANDLE CreateFileA(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD creation, DWORD flags, HANDLE templateFile);
// Opens only Z: paths, bare, prefixed `\\?\` or in the device form `\\.\`.
HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD creation, DWORD flags, HANDLE templateFile);
// Both carry out the whole transfer asked for, as Windows does on a regular file.
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped);
// Disk for regular files and block devices, which can seek; pipe for FIFOs and
// sockets; char for character devices.
DWORD GetFileType(HANDLE file);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
// Regular files and block devices only, as on Windows, where other files have no size.
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
BOOL CloseHandle(HANDLE handle);
HANDLE GetStdHandle(DWORD which);
DWORD GetCurrentProcessId();

// Names, narrow and native, as CreateFileA takes them.
BOOL DeleteFileA(const char* name);
// Only with MOVEFILE_REPLACE_EXISTING: a rename, which replaces a file at `to`.
// The file takes the mode of a file created new at `to` (0666 less the
// umask): what it moves is a temporary file that CREATE_NEW made private.
BOOL MoveFileExA(const char* from, const char* to, DWORD flags);
// Renames `replacement` over `replaced`, which must exist and whose mode,
// owner and group (as far as the process may set them) it takes first, as
// Windows keeps the replaced file's attributes and ACLs. No backup and no
// flags are supported.
BOOL ReplaceFileA(const char* replaced, const char* replacement, const char* backup, DWORD flags,
                  void* exclude, void* reserved);
// The name itself is asked, not the file a link names: a symbolic link is a
// reparse point, a directory a directory, anything else a normal file.
DWORD GetFileAttributesA(const char* name);
// The absolute name of the open file, links resolved, as the kernel knows it.
DWORD GetFinalPathNameByHandleA(HANDLE file, char* name, DWORD room, DWORD flags);
DWORD GetLastError();
void SetLastError(DWORD code);
// Lexical resolution: never looks at the disk.
DWORD GetFullPathNameW(const char16_t* name, DWORD bufferChars, char16_t* buffer,
                       char16_t** filePart);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, char16_t* wide,
                        int wideChars);
int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* wide, int wideChars, char* text,
                        int bytes, const char* defaultChar, BOOL* usedDefault);

// Directory listing. Only the pattern `<directory>\*` is supported, the
// directory mapped as CreateFileW maps a path. Names come byte for unit, in
// the directory's order, `.` and `..` among them; there are no short names,
// so cAlternateFileName is always empty. A directory that does not exist
// fails with ERROR_PATH_NOT_FOUND, and one that can be read but not searched
// with ERROR_ACCESS_DENIED: no name in it could be opened, listed or not.
constexpr DWORD MAX_PATH = 260;
struct WIN32_FIND_DATAW {
  char16_t cFileName[MAX_PATH];
  char16_t cAlternateFileName[14];
};
HANDLE FindFirstFileW(const char16_t* pattern, WIN32_FIND_DATAW* data);
// FALSE with ERROR_NO_MORE_FILES after the last name.
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);

// FILE_ATTRIBUTE_DIRECTORY for a directory, FILE_ATTRIBUTE_NORMAL for any
// other file, the path mapped as CreateFileW maps it.
DWORD GetFileAttributesW(const char16_t* name);

#endif
