#include "output_file.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "diagnostics.h"
#include "run_state.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

WrittenFile output;

// `text` followed by `suffix`, in a new block (delete[]); null without memory.
char* joined(const char* text, const char* suffix) {
  size_t length = strlen(text);
  size_t suffixLength = strlen(suffix);
  auto* copy = new (std::nothrow) char[length + suffixLength + 1];
  if (copy == nullptr) return nullptr;
  memcpy(copy, text, length);
  memcpy(copy + length, suffix, suffixLength + 1);
  return copy;
}

// True when the file is standard output or error: renamed over, it would
// take the text away from the stream.
bool isAStandardStream(const FileIdentity& identity) {
  static const DWORD kStreams[] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (DWORD which : kStreams) {
    FileIdentity stream;
    if (getFileIdentity(GetStdHandle(which), &stream) && stream == identity) return true;
  }
  return false;
}

// The name the open file has, links resolved, in a new block (delete[]).
// Null when it cannot be had, or names another file (one whose name is gone).
char* finalNameOf(HANDLE file, const FileIdentity& identity) {
  // One more than asked for: Wine counts no terminator in the room it asks.
  DWORD room = GetFinalPathNameByHandleA(file, nullptr, 0, FILE_NAME_NORMALIZED) + 1;
  auto* name = room > 1 ? new (std::nothrow) char[room] : nullptr;
  if (name == nullptr) return nullptr;
  DWORD length = GetFinalPathNameByHandleA(file, name, room, FILE_NAME_NORMALIZED);
  FileIdentity named;
  if (length == 0 || length >= room || !identityOfNamedFile(name, &named) || !(named == identity)) {
    delete[] name;
    return nullptr;
  }
  return name;
}

// The name a new text for the existing file `name` takes: the file's own
// full name, so that a symbolic link stays and leads to the new text. Null
// when a link's file cannot be named surely; the text then goes in place.
char* replacedNameOf(const char* name, HANDLE existing, const FileIdentity& identity) {
  char* finalName = finalNameOf(existing, identity);
  if (finalName != nullptr) return finalName;
  DWORD attributes = GetFileAttributesA(name);
  bool link = attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  return link ? nullptr : joined(name, "");
}

// Creates a new file beside file->replacedName, whose name no other file has,
// and which an interruption removes. INVALID_HANDLE_VALUE, with the error
// set, when none can be made.
HANDLE createTemporary(WrittenFile* file) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[48];
    snprintf(suffix, sizeof suffix, ".tuflat-%lu-%u",
             static_cast<unsigned long>(GetCurrentProcessId()), counter++);
    char* name = joined(file->replacedName, suffix);
    if (name == nullptr || !removeOnInterruption(name)) {
      SetLastError(name == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ERROR_FILENAME_EXCED_RANGE);
      delete[] name;
      return INVALID_HANDLE_VALUE;
    }
    // Armed before the file exists, so that no moment leaves it behind.
    HANDLE handle = CreateFileA(name, GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file->temporaryName = name;
      return handle;
    }
    DWORD error = GetLastError();
    removeOnInterruption(nullptr);
    delete[] name;
    SetLastError(error);
    if (error != ERROR_FILE_EXISTS) return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
}

// The text goes straight into the file `name`, as a plain create does.
int openInPlace(const char* name, const char* what, WrittenFile* file) {
  delete[] file->replacedName;
  file->replacedName = nullptr;
  file->handle = openOrComplain(name, GENERIC_WRITE, CREATE_ALWAYS, what);
  if (file->handle == INVALID_HANDLE_VALUE) return 0;
  file->identityKnown = getFileIdentity(file->handle, &file->identity) != 0;
  return 1;
}

// Writes beside the name when a file can be made there, else in place.
int openBeside(const char* name, const char* what, WrittenFile* file) {
  file->handle = createTemporary(file);
  if (file->handle != INVALID_HANDLE_VALUE) return 1;
  DWORD error = GetLastError();
  if (!openInPlace(name, what, file)) return 0;
  complain("warning: no new file can be made beside the %s '%s' (%s); it is written in place", what,
           name, systemErrorText(error));
  return 1;
}

// Gives the temporary file the replaced name.
bool commitTemporary(const WrittenFile& file) {
  if (!file.replacesExisting) {
    return MoveFileExA(file.temporaryName, file.replacedName, MOVEFILE_REPLACE_EXISTING);
  }
  if (ReplaceFileA(file.replacedName, file.temporaryName, nullptr, 0, nullptr, nullptr)) {
    return true;
  }
  // Windows may have moved the replaced file away before failing.
  DWORD error = GetLastError();
  if (GetFileAttributesA(file.replacedName) == INVALID_FILE_ATTRIBUTES &&
      MoveFileExA(file.temporaryName, file.replacedName, MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  SetLastError(error);
  return false;
}

}  // namespace

int createWrittenFile(const char* name, const char* what, WrittenFile* file) {
  *file = WrittenFile();
  HANDLE existing = CreateFileA(name, 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    // Any other failure is left to the create, which says why as it always
    // has; so is a link that leads nowhere, which the create follows.
    if (GetLastError() != ERROR_FILE_NOT_FOUND ||
        GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES) {
      return openInPlace(name, what, file);
    }
    file->replacedName = joined(name, "");
    return file->replacedName != nullptr ? openBeside(name, what, file)
                                         : openInPlace(name, what, file);
  }
  FileIdentity identity;
  bool replaceable = getFileIdentity(existing, &identity) && isRegularFile(existing) &&
                     !isAStandardStream(identity);
  file->replacedName = replaceable ? replacedNameOf(name, existing, identity) : nullptr;
  CloseHandle(existing);
  if (file->replacedName == nullptr) return openInPlace(name, what, file);
  HANDLE probe = CreateFileA(name, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    complain("cannot create the %s '%s': %s", what, name, systemErrorText(GetLastError()));
    delete[] file->replacedName;
    file->replacedName = nullptr;
    return 0;
  }
  CloseHandle(probe);
  file->identity = identity;
  file->identityKnown = true;
  file->replacesExisting = true;
  return openBeside(name, what, file);
}

int finishWrittenFile(WrittenFile* file, bool whole, const char* name, const char* what) {
  if (file->temporaryName == nullptr) return 1;
  int done = 1;
  if (!whole) {
    DeleteFileA(file->temporaryName);
    complain("the %s '%s' %s", what, name,
             file->replacesExisting ? "was left as it was" : "was not created");
  } else if (!commitTemporary(*file)) {
    DWORD error = GetLastError();
    DeleteFileA(file->temporaryName);
    complain("cannot put the new text in the %s '%s' (%s); it %s", what, name,
             systemErrorText(error),
             file->replacesExisting ? "was left as it was" : "was not created");
    done = 0;
  }
  // The name is gone or taken: nothing is left to remove.
  removeOnInterruption(nullptr);
  delete[] file->temporaryName;
  delete[] file->replacedName;
  file->temporaryName = nullptr;
  file->replacedName = nullptr;
  return done;
}

int openOutput(const char* name) {
  if (!createWrittenFile(name, "output file", &output)) return 0;
  OutputFile.handle = output.handle;
  OutputIdentity = output.identity;
  OutputIdentityKnown = output.identityKnown;
  return 1;
}

void useOutputHandle(HANDLE handle) {
  output = WrittenFile();
  output.handle = handle;
  output.identityKnown = getFileIdentity(handle, &output.identity) != 0;
  OutputFile.handle = handle;
  OutputIdentity = output.identity;
  OutputIdentityKnown = output.identityKnown;
}

int closeOutput(const char* name) {
  FileIdentity written;
  bool writtenKnown = getFileIdentity(OutputFile.handle, &written) != 0;
  if (!CloseHandle(OutputFile.handle)) noteCloseFailure(GetLastError());
  bool whole = !outputTextLost();
  if (!finishWrittenFile(&output, whole, name, "output file")) return 0;
  if (whole) {
    OutputIdentity = written;
    OutputIdentityKnown = writtenKnown;
  }
  return 1;
}
