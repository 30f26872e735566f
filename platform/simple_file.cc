#include "simple_file.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

// One platform read or write moves at most this much; bigger transfers loop.
constexpr uint64_t kMaxTransfer = 1u << 30;

// A stream is first read into a block this big, doubled as it fills.
constexpr uint64_t kFirstStreamBlock = 1 << 16;

}  // namespace

HANDLE SimpleFile::openForRead(const char16_t* path) {
  handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) handle = nullptr;
  return handle;
}

uint64_t SimpleFile::read(void* buffer, uint64_t count) {
  uint64_t total = 0;
  while (total < count) {
    DWORD chunk = static_cast<DWORD>(count - total < kMaxTransfer ? count - total : kMaxTransfer);
    DWORD got = 0;
    ReadFile(handle, static_cast<char*>(buffer) + total, chunk, &got, nullptr);
    total += got;
    if (got < chunk) break;
  }
  return total;
}

uint64_t SimpleFile::write(const void* buffer, uint64_t count) {
  uint64_t total = 0;
  while (total < count) {
    DWORD chunk = static_cast<DWORD>(count - total < kMaxTransfer ? count - total : kMaxTransfer);
    // A failed write may still have moved some bytes: they count.
    DWORD put = 0;
    WriteFile(handle, static_cast<const char*>(buffer) + total, chunk, &put, nullptr);
    total += put;
    if (put < chunk) break;
  }
  return total;
}

uint64_t getFileSize(HANDLE file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) return kUnknownSize;
  return static_cast<uint64_t>(size.QuadPart);
}

FileContents readWholeFile(HANDLE file) {
  FileContents contents = {nullptr, 0, kUnknownSize, false};
  uint64_t size = GetFileType(file) == FILE_TYPE_DISK ? getFileSize(file) : kUnknownSize;
  if (size != kUnknownSize) {
    contents.size = size;
    if (size >= static_cast<uint64_t>(PTRDIFF_MAX)) return contents;
    contents.bytes = static_cast<char*>(::operator new(size + 1, std::nothrow));
    if (contents.bytes == nullptr) return contents;
    SimpleFile reader;
    reader.handle = file;
    contents.count = reader.read(contents.bytes, size);
    contents.whole = contents.count == size;
    return contents;
  }
  // bytes[0, count) is what arrived; the block holds room bytes.
  uint64_t room = 0;
  for (;;) {
    if (room - contents.count < 2) {
      uint64_t larger = room < kFirstStreamBlock ? kFirstStreamBlock : room * 2;
      if (larger >= static_cast<uint64_t>(PTRDIFF_MAX)) return contents;
      auto* block = static_cast<char*>(::operator new(larger, std::nothrow));
      if (block == nullptr) return contents;
      if (contents.count > 0) memcpy(block, contents.bytes, contents.count);
      ::operator delete(contents.bytes);
      contents.bytes = block;
      room = larger;
    }
    // One byte of the block stays spare for a terminator.
    uint64_t wanted = room - 1 - contents.count;
    DWORD chunk = static_cast<DWORD>(wanted < kMaxTransfer ? wanted : kMaxTransfer);
    DWORD got = 0;
    BOOL ok = ReadFile(file, contents.bytes + contents.count, chunk, &got, nullptr);
    contents.count += got;
    if (got > 0) continue;
    // A pipe whose writer has gone reports its end as a broken pipe.
    DWORD error = ok ? NO_ERROR : GetLastError();
    if (error == NO_ERROR || error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
      contents.size = contents.count;
      contents.whole = true;
    }
    return contents;
  }
}
