// The words of a compile command: its text split as the shell that ran it
// splits it, and `@file` response files read in place.
#ifndef TUFLAT_DRIVER_COMMAND_WORDS_H
#define TUFLAT_DRIVER_COMMAND_WORDS_H

#include <cstddef>
#include <cstdint>

#include "compile_database.h"

// POSIX shell rules, or the Windows C runtime's rules for a command line,
// which cl and clang-cl commands and response files follow.
enum class CommandRules : uint8_t { Posix, Windows };

// A growing list of NUL-terminated words; words[0, count) of an array with
// room for `room`. A list starts zeroed. The list does not own its words;
// its array is freed by freeWordArray.
struct WordList {
  char** words;
  uint32_t count;
  uint32_t room;
};

// Appends `word` itself, not a copy. False when no memory can be had.
bool appendWord(WordList* list, char* word);

// Frees the list's array, not its words, and leaves the list empty.
void freeWordArray(WordList* list);

enum class SplitResult : uint8_t { Split, UnbalancedQuote, NoMemory };

// Splits text[0, length) into words by `rules` and appends them to `list`,
// all in one new block that begins at the first word appended; the caller
// frees it with operator delete. POSIX: blanks separate; '...' keeps all literally;
// "..." keeps all but a backslash before $, `, ", \ or a line end; a
// backslash outside quotes keeps the next character, and a backslash before
// a line end joins the lines. Windows: blanks separate; " opens and closes a
// quoted part, where "" stands for one "; 2n backslashes before " give n and
// the quote opens or closes, 2n+1 give n and a literal "; other backslashes
// are literal. Blanks are space, tab, CR, LF, VT and FF. An unbalanced quote
// appends nothing.
SplitResult splitCommandWords(const char* text, size_t length, CommandRules rules, WordList* list);

// Windows rules when the compiler's last path component (after `/` or `\`),
// without `.exe`, is cl or clang-cl in any case; else POSIX rules.
CommandRules rulesForCompiler(const char* compiler);

// Where the compiler stands in words[0, count), which holds one at least:
// 1 after a compiler launcher such as ccache, else 0.
uint32_t compilerIndex(const char* const* words, uint32_t count);

// The rules of a command text, from its compiler word read by the Windows
// rules, which keep a path such as C:\tools\cl.exe whole.
CommandRules rulesForCommand(const char* command);

// An entry's words and the blocks that hold them.
struct EntryWords {
  WordList words;
  // The start of each block, freed by freeEntryWords.
  WordList blocks;
  CommandRules rules;
};

// The entry's words, whose first is the compiler (or its launcher): its
// `command` split by the rules of its compiler, or copies of its `arguments`,
// with each later word `@FILE` replaced by the words of FILE (taken against
// the entry's directory, split by the same rules), nested up to
// kResponseFileDepth deep. A response file that cannot be read stays as the
// word, with a warning. Uses ConvBuffer and ResultBuffer. Returns 1; 0 after
// saying why on standard error (an unbalanced quote, response files nested
// too deep, no memory), with nothing left to free.
constexpr uint32_t kResponseFileDepth = 64;
int readEntryWords(const CompileEntry& entry, const char* databaseName, EntryWords* read);

// Frees the words, their blocks and the lists, and leaves `read` empty.
void freeEntryWords(EntryWords* read);

#endif
