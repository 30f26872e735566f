#include "dependencies.h"

#include <cstring>
#include <new>

#include "../base/tables.h"
#include "../platform/full_path.h"
#include "../platform/simple_file.h"
#include "diagnostics.h"
#include "native_path.h"
#include "output_file.h"
#include "run_state.h"

namespace {

struct Dependency {
  char16_t* path;
  size_t length;
  FileIdentity identity;
  bool identityKnown;
  bool header;
};

// Found by their paths.
RecordTable<Dependency> dependencies;
// Set when memory ran out: the file would lack dependencies, so it is not written.
bool dependenciesLost = false;

// The text being written: text[0, textLength) of room for textCapacity.
char* text = nullptr;
uint32_t textLength = 0;
uint32_t textCapacity = 0;

void append(const char* bytes, size_t count) {
  if (count > UINT32_MAX - textLength ||
      !reserveItems(&text, &textCapacity, textLength, textLength + static_cast<uint32_t>(count))) {
    dependenciesLost = true;
    return;
  }
  memcpy(text + textLength, bytes, count);
  textLength += static_cast<uint32_t>(count);
}

// Escapes straight into the text, which first gets room for the longest result.
void appendEscaped(const char* name) {
  size_t room = strlen(name) * 2 + 1;
  if (room > UINT32_MAX - textLength ||
      !reserveItems(&text, &textCapacity, textLength, textLength + static_cast<uint32_t>(room))) {
    dependenciesLost = true;
    return;
  }
  textLength += static_cast<uint32_t>(escapeForMake(name, text + textLength));
}

void appendNative(const char16_t* path) {
  char* native = nativePathText(path);
  if (native == nullptr) {
    dependenciesLost = true;
    return;
  }
  appendEscaped(native);
  delete[] native;
}

// True when the file `name` exists and is the output or a file read.
bool wouldDestroyAFile(const char* name) {
  FileIdentity identity;
  if (!identityOfNamedFile(name, &identity)) return false;
  if (OutputIdentityKnown && identity == OutputIdentity) return true;
  for (uint32_t at = 0; at < dependencies.count; ++at) {
    const Dependency& entry = dependencies.items[at];
    if (entry.identityKnown && entry.identity == identity) return true;
  }
  return false;
}

}  // namespace

size_t escapeForMake(const char* name, char* escaped) {
  size_t length = 0;
  size_t backslashes = 0;
  for (const char* at = name; *at != 0; ++at) {
    if (*at == ' ' || *at == '\t' || *at == '#') {
      // The backslashes before the escape count double, and one more escapes.
      for (size_t extra = 0; extra <= backslashes; ++extra) escaped[length++] = '\\';
    } else if (*at == '$') {
      escaped[length++] = '$';
    }
    escaped[length++] = *at;
    backslashes = *at == '\\' ? backslashes + 1 : 0;
  }
  escaped[length] = 0;
  return length;
}

void noteDependency(const char16_t* resolvedPath, const FileIdentity* identity, bool header) {
  size_t length = wideLength(resolvedPath);
  uint64_t hash = hashBytes(resolvedPath, length * sizeof(char16_t));
  uint32_t found = findInIndex(dependencies.index, hash, [&](uint32_t at) {
    return dependencies.items[at].length == length &&
           memcmp(dependencies.items[at].path, resolvedPath, length * sizeof(char16_t)) == 0;
  });
  if (found != kNoRecord) return;
  auto* path = new (std::nothrow) char16_t[length + 1];
  uint32_t number = path != nullptr ? addRecord(&dependencies, hash) : kNoRecord;
  if (number == kNoRecord) {
    delete[] path;
    dependenciesLost = true;
    return;
  }
  memcpy(path, resolvedPath, (length + 1) * sizeof(char16_t));
  Dependency& entry = dependencies.items[number];
  entry = {path, length, FileIdentity(), identity != nullptr, header};
  if (identity != nullptr) entry.identity = *identity;
}

int writeDependencyFile(const char* name, const char* target) {
  if (wouldDestroyAFile(name)) {
    complain("the dependency file '%s' is the output or a file read; it was not written", name);
    return 0;
  }
  appendEscaped(target);
  append(":", 1);
  for (uint32_t at = 0; at < dependencies.count; ++at) {
    append(" \\\n  ", 5);
    appendNative(dependencies.items[at].path);
  }
  append("\n", 1);
  for (uint32_t at = 0; at < dependencies.count; ++at) {
    if (!dependencies.items[at].header) continue;
    append("\n", 1);
    appendNative(dependencies.items[at].path);
    append(":\n", 2);
  }
  if (dependenciesLost) {
    complain("the dependency file '%s' was not written: not enough memory", name);
    return 0;
  }
  WrittenFile file;
  if (!createWrittenFile(name, "dependency file", &file)) return 0;
  SimpleFile writer;
  writer.handle = file.handle;
  bool whole = writer.write(text, textLength) == textLength;
  DWORD error = GetLastError();
  if (!CloseHandle(file.handle) && whole) {
    whole = false;
    error = GetLastError();
  }
  if (!whole) complain("cannot write the dependency file '%s': %s", name, systemErrorText(error));
  return finishWrittenFile(&file, whole, name, "dependency file") && whole;
}
