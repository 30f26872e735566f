#include "run_state.h"

#include <cstring>
#include <new>

#include "../platform/full_path.h"

SimpleFile OutputFile;
FileIdentity OutputIdentity;
bool OutputIdentityKnown = false;
TextTable SearchList;
uint32_t QuoteOnlySlots = 0;
TextTable DefineList;
WorkBuffer ConvBuffer;
WorkBuffer CandidateBuffer;
WorkBuffer ResultBuffer;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The identity of a file just opened, which is then closed.
int identityOfOpened(HANDLE file, FileIdentity* identity) {
  if (file == INVALID_HANDLE_VALUE) return 0;
  int known = getFileIdentity(file, identity);
  CloseHandle(file);
  return known;
}

}  // namespace

int identityOfNamedFile(const char* name, FileIdentity* identity) {
  return identityOfOpened(CreateFileA(name, 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr),
                          identity);
}

int identityOfPath(const char16_t* path, FileIdentity* identity) {
  return identityOfOpened(CreateFileW(path, 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr),
                          identity);
}

bool namesDirectory(const char* name) {
  oemToWide(name, ConvBuffer.wide, kWorkBufferChars);
  resolveFullPath(ConvBuffer.wide, ResultBuffer.wide, kWorkBufferBytes);
  DWORD attributes = GetFileAttributesW(ResultBuffer.wide);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool namesFile(const char16_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int makeTextEntry(const char16_t* text, size_t length, const char16_t* suffix, TextEntry* entry) {
  size_t suffixLength = wideLength(suffix);
  size_t count = length + suffixLength + 1;
  if (count > UINT32_MAX) return 0;
  auto* copy = static_cast<char16_t*>(::operator new(count * sizeof(char16_t), std::nothrow));
  if (copy == nullptr) return 0;
  memcpy(copy, text, length * sizeof(char16_t));
  memcpy(copy + length, suffix, (suffixLength + 1) * sizeof(char16_t));
  entry->text = copy;
  entry->count = static_cast<uint32_t>(count);
  return 1;
}
