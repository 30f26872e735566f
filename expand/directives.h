// Preprocessor directives as a compiler finds them, and whether a file is one
// the compiler reads only once. Used by the include-once and line-directive
// modes only.
#ifndef TUFLAT_EXPAND_DIRECTIVES_H
#define TUFLAT_EXPAND_DIRECTIVES_H

#include <cstdint>

enum class DirectiveKind : uint8_t {
  Open,         // #if, #ifdef, #ifndef
  Alternative,  // #elif, #else and the like: no change of depth
  Close,        // #endif
  Define,
  Undef,
  PragmaOnce,
  Other,  // any other directive, the empty one included
};

// One directive of a file's bytes.
struct Directive {
  // The start of the physical line that holds the directive's `#`, and the
  // offset of the LF that ends its logical line (or the end of the text).
  uint64_t lineStart;
  uint64_t end;
  // bytes[nameStart, nameStart + nameLength): for Define and Undef the macro;
  // for an Open written `#ifndef G`, `#if !defined(G)` or `#if !defined G`,
  // that G. nameLength is 0 otherwise.
  uint64_t nameStart;
  uint32_t nameLength;
  DirectiveKind kind;
  // Tokens that are no directive stand between the previous directive (or
  // the start of the file) and this one.
  bool textBefore;
};

// A file's directives in order: items[0, count) of room for `capacity`.
struct DirectiveList {
  Directive* items = nullptr;
  uint32_t count = 0;
  uint32_t capacity = 0;
  // Tokens that are no directive follow the last directive.
  bool textAfter = false;
};

// Lists the directives of bytes[0, count): outside comments and string
// literals, `#` first on a logical line after blanks and comments, lines
// joined where a backslash ends them. Returns 0 when no memory can be had.
int listDirectives(const char* bytes, uint64_t count, DirectiveList* list);
void freeDirectives(DirectiveList* list);

// How a file stands to being included again.
struct OnceClass {
  // It holds a `#pragma once` directive.
  bool pragmaOnce = false;
  // Its whole text outside comments and blanks is one guard block: the first
  // directive opens on !defined(G), the second defines G, and the `#endif`
  // that closes the first, with no #else or #elif between, is the last.
  bool guarded = false;
  // For a guarded file: G. The guard's directives are the list's first and last.
  uint64_t guardStart = 0;
  uint32_t guardLength = 0;
};

OnceClass classifyOnce(const char* bytes, const DirectiveList& list);

#endif
