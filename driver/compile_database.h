// A compilation database (compile_commands.json, as CMake, Meson, Ninja and
// Bear write it): a JSON array of entries, each with the `directory` the
// compiler ran in, the `file` it compiled, and its `arguments` (an array of
// words) or its `command` (one text). The database is read as a stream, so
// its size asks for no memory in proportion.
#ifndef TUFLAT_DRIVER_COMPILE_DATABASE_H
#define TUFLAT_DRIVER_COMPILE_DATABASE_H

#include <cstddef>
#include <cstdint>

// One entry as read. Texts are UTF-8 and NUL-terminated. Those the reader
// hands to a visitor live until the visitor returns; those of the entry that
// findCompileEntry picks live until the process exits.
struct CompileEntry {
  const char* directory;
  const char* file;
  // Null when the entry gives `arguments`.
  const char* command;
  // arguments[0, argumentCount) when the entry gives them (at least one,
  // the compiler's name), else null.
  const char* const* arguments;
  uint32_t argumentCount;
  // The entry's place in the database, from 1, and the line its `{` stands on.
  uint64_t number;
  uint64_t line;
};

// Called for each whole entry. Returns false to stop the reading early.
using EntryVisitor = bool (*)(const CompileEntry& entry, void* context);

// Gives the next bytes of a database: at most `room` into `buffer`. Returns
// how many; 0 at the end; -1 on a read error, whose code GetLastError gives.
using ReadBytes = int64_t (*)(char* buffer, size_t room, void* context);

// Reads a database from `read` and visits its entries in order. Returns 1
// when the whole database was read (or a visitor stopped it); 0 after saying
// why on standard error, naming `databaseName`: malformed JSON (with the
// line and column the parser gives), a top level that is not an array, an
// entry that is not an object, lacks `directory` or `file`, or has neither
// `arguments` nor `command`, a member of the wrong type, an empty
// `arguments`, a read error, or no memory.
int readCompileDatabase(ReadBytes read, void* readContext, const char* databaseName,
                        EntryVisitor visit, void* visitContext);

// The database that PATH names: PATH itself, or PATH/compile_commands.json
// when PATH is a directory. A block that lives until the process exits.
// Uses ConvBuffer and ResultBuffer.
const char* databasePath(const char* path);

// Finds the entry that compiles the main source: its `file`, taken against
// its `directory`, names the same file as `sourcePath` (a resolved wide
// path), by file identity, so other spellings and links match too. With
// `choice` 0 the first match is taken, with a warning when there are more;
// with N, the Nth. A relative `directory` is taken against the database's
// folder, and the entry filled holds it so. When no entry's file has the
// source's last name, every entry is tried, for a link of another name.
// Returns 1 with *entry filled; 0 after saying why on standard error (no
// such entry, or the database cannot be read). `sourcePath` is read first,
// and may lie in a work buffer; ConvBuffer and ResultBuffer are then used.
int findCompileEntry(const char* databaseName, const char16_t* sourcePath, const char* sourceName,
                     uint64_t choice, CompileEntry* entry);

#endif
