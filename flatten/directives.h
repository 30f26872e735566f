// Preprocessor directives as a compiler finds them, and whether a file is one
// the compiler reads only once. Used by the include-once and line-directive
// modes only.
#ifndef TUFLAT_FLATTEN_DIRECTIVES_H
#define TUFLAT_FLATTEN_DIRECTIVES_H

#include <cstdint>

enum class DirectiveKind : uint8_t {
  Open,         // #if, #ifdef, #ifndef
  Alternative,  // #elif, #else and the like: no change of depth
  Close,        // #endif
  Define,
  Undef,
  // `#pragma pop_macro("G")`, or the same through `_Pragma`: G may change.
  PopMacro,
  // `#pragma once`, or `_Pragma("once")` in the text (see `inText`).
  PragmaOnce,
  // `#include`, `#include_next` or `#import` followed by a quoted name, an
  // angle name, or anything else (a macro the compiler expands).
  QuotedInclude,
  AngleInclude,
  ComputedInclude,
  // `#line N "name"`, or `# N "name"` as a preprocessor writes it.
  Line,
  Other,  // any other directive, the empty one included
};

// One directive of a file's bytes.
struct Directive {
  // The start of the physical line that holds the directive's `#`, and the
  // offset of the LF that ends its logical line (or the end of the text).
  uint64_t lineStart;
  uint64_t end;
  // bytes[nameStart, nameStart + nameLength): for Define, Undef and
  // PopMacro the macro; for an Open written `#ifndef G`, `#if !defined(G)` or
  // `#if !defined G`, that G; for a Line, the text between the quotes of its
  // name. nameLength is 0 otherwise, and for a Define, Undef or PopMacro whose
  // name cannot be read as plain bytes (a splice or a universal character
  // name inside, a byte beyond ASCII).
  uint64_t nameStart;
  uint32_t nameLength;
  DirectiveKind kind;
  // A PragmaOnce that is a `_Pragma` operator among the tokens of a text line.
  bool inText;
  // For a PragmaOnce, bytes[spanStart, spanEnd) are its tokens: from
  // `pragma` to `once`, or from `_Pragma` to its `)`. For a Line, spanStart
  // is the number of the line that follows it (spanEnd unused).
  uint64_t spanStart;
  uint64_t spanEnd;
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
// literals, `#` (or `%:`) first on a logical line after blanks and comments,
// lines joined where a backslash ends them; an LF, or a CR not before one,
// ends a line. Also lists the `_Pragma` operators of the text that say
// `once` or `pop_macro`. Returns 0 when no memory can be had.
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
