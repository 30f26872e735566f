#include "simple_file.h"

#include <cstdint>
#include <new>

namespace {

// One platform read or write moves at most this much; bigger transfers loop.
constexpr uint64_t kMaxTransfer = 1u << 30;

constexpr uint64_t kProbeBytes = 65536;
constexpr uint64_t kProbePage = 4096;

uint64_t seek(HANDLE file, uint64_t distance, DWORD method) {
  LONG high = static_cast<LONG>(distance >> 32);
  DWORD low =
      SetFilePointer(file, static_cast<LONG>(static_cast<uint32_t>(distance)), &high, method);
  return (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
}

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
    DWORD put = 0;
    if (!WriteFile(handle, static_cast<const char*>(buffer) + total, chunk, &put, nullptr)) {
      put = 0;
    }
    total += put;
    if (put < chunk) break;
  }
  return total;
}

uint64_t getFileSize(HANDLE file) {
  uint64_t saved = seek(file, 0, FILE_CURRENT);
  LONG high = 0;
  DWORD low = SetFilePointer(file, 0, &high, FILE_END);
  uint64_t size = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) size = probeFileSize(file);
  seek(file, saved, FILE_BEGIN);
  return size;
}

uint64_t probeFileSize(HANDLE file) {
  char* block = static_cast<char*>(::operator new(kProbeBytes + kProbePage, std::nothrow));
  if (block == nullptr) return ~static_cast<uint64_t>(0);
  uintptr_t start = reinterpret_cast<uintptr_t>(block);
  char* probe = block + ((start & ~(kProbePage - 1)) + kProbePage - start);
  SimpleFile reader;
  reader.handle = file;
  uint64_t position = 0;
  uint64_t size = 0;
  bool found = false;
  for (int bit = 62; bit >= 0 && !found; --bit) {
    uint64_t candidate = position | (static_cast<uint64_t>(1) << bit);
    // A position the file system cannot seek to lies beyond the end; reading
    // after a failed seek would read from wherever the last probe stopped.
    if (seek(file, candidate, FILE_BEGIN) != candidate) continue;
    uint64_t got = reader.read(probe, kProbeBytes);
    if (got == kProbeBytes) position = candidate;
    if (got > 0 && got < kProbeBytes) {
      size = candidate + got;
      found = true;
    }
  }
  if (!found && position == 0) {
    // No higher bit held data: only position 0 itself can tell 0 from 1 byte.
    seek(file, 0, FILE_BEGIN);
    size = reader.read(probe, kProbeBytes);
    found = true;
  }
  ::operator delete(block);
  return found ? size : position;
}
