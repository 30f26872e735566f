#include "directives.h"

#include <cstring>
#include <new>

#include "../base/tables.h"
#include "byte_search.h"

namespace {

bool isIdentifierByte(int byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= '0' && byte <= '9') || byte == '_' || byte == '$' || byte >= 0x80;
}

bool isBlank(int byte) {
  return byte == ' ' || byte == '\t' || byte == '\v' || byte == '\f';
}

// `#` and its digraph `%:` are Hash, any other punctuator one byte.
enum class TokenKind : uint8_t { LineEnd, Identifier, Number, Literal, Punctuator, Hash };

struct Token {
  TokenKind kind;
  // bytes[start, end); `spliced` when a line splice lies inside.
  uint64_t start;
  uint64_t end;
  bool spliced;
};

// The tokens of a text as the preprocessor sees them, blanks and comments
// skipped. Invariant: position <= count.
class Tokens {
 public:
  Tokens(const char* bytes, uint64_t count)
      : bytes_(bytes), count_(count), holdsCr_(findByte(bytes, 0, count, '\r') < count) {}

  // The next token; a LineEnd stands at the LF that ends a logical line (or
  // at the end), which `passLineEnd` moves over.
  Token next() {
    skipBlanksAndComments();
    Token token = {TokenKind::LineEnd, position_, position_, false};
    int byte = peek();
    if (byte < 0 || isLineBreak(byte)) return token;
    token.start = position_;
    if (byte == '#' || (byte == '%' && peekAfter() == ':')) {
      ++position_;
      if (byte == '%') {
        peek();
        ++position_;
      }
      token.kind = TokenKind::Hash;
    } else if (byte == '"' || byte == '\'') {
      skipQuoted(byte);
      token.kind = TokenKind::Literal;
    } else if ((byte >= '0' && byte <= '9') || (byte == '.' && isDigit(peekAfter()))) {
      token.spliced = skipNumber();
      token.kind = TokenKind::Number;
    } else if (isIdentifierByte(byte)) {
      token.spliced = skipIdentifier();
      token.kind = TokenKind::Identifier;
      uint64_t end = position_;
      if (!token.spliced && peek() == '"' && isRawPrefix(token.start, end)) {
        skipRawString();
        token.kind = TokenKind::Literal;
      } else {
        position_ = end;
      }
    } else {
      ++position_;
      token.kind = TokenKind::Punctuator;
    }
    token.end = position_;
    return token;
  }

  // Up to the line break that ends the logical line (its LF, or a lone CR),
  // or the end. A break after a backslash, blanks allowed between, is a
  // splice's, if the backslash lies ahead.
  void skipToLineEnd() {
    for (;;) {
      uint64_t lineEnd = holdsCr_ ? findEitherByte(bytes_, position_, count_, '\n', '\r')
                                  : findByte(bytes_, position_, count_, '\n');
      uint64_t before = lineEnd;
      if (lineEnd + 1 < count_ && bytes_[lineEnd] == '\r' && bytes_[lineEnd + 1] == '\n') {
        ++lineEnd;
      }
      while (before > position_ && (bytes_[before - 1] == ' ' || bytes_[before - 1] == '\t')) {
        --before;
      }
      if (lineEnd == count_ || before == position_ || bytes_[before - 1] != '\\') {
        position_ = lineEnd;
        return;
      }
      position_ = lineEnd + 1;
    }
  }

  // Passes the tokens of a line already known to be text, up to its LF as
  // skipToLineEnd leaves it, as `next` would pass them: only an LF, a
  // backslash, a `/` and the quotes can start or end anything that spans
  // lines or hides an LF. Any other byte is passed unread; a quote is read
  // by tokenizing again from the last known end of a token, which tells a
  // literal from a digit separator or a raw string's prefix.
  void skipText() {
    // A CR is a stop only in a text that holds one.
    static const char kStops[] = {'\n', '\\', '/', '"', '\'', '\r'};
    size_t stops = holdsCr_ ? sizeof kStops : sizeof kStops - 1;
    uint64_t tokenEnd = position_;
    for (uint64_t at = position_;;) {
      at = findAnyByte(bytes_, at, count_, kStops, stops);
      if (at >= count_ || bytes_[at] == '\n' || isLoneCr(at)) {
        position_ = at;
        return;
      }
      if (bytes_[at] == '\r') {
        ++at;
        continue;
      }
      position_ = at;
      if (bytes_[at] == '\\') {
        // Splices join the lines; a stray backslash is a byte like others.
        at = peek() == '\\' ? position_ + 1 : position_;
        continue;
      }
      if (bytes_[at] == '/') {
        int after = peekAfter();
        if (after == '/' || after == '*') {
          skipBlanksAndComments();
        } else {
          ++position_;
        }
      } else {
        position_ = tokenEnd;
        while (position_ <= at && next().kind != TokenKind::LineEnd) {
        }
      }
      tokenEnd = position_;
      at = position_;
    }
  }

  bool atEnd() const { return position_ >= count_; }
  uint64_t position() const { return position_; }
  void passLineEnd() { ++position_; }

 private:
  static bool isDigit(int byte) { return byte >= '0' && byte <= '9'; }

  // A CR not followed by an LF ends a line, as compilers take it.
  bool isLoneCr(uint64_t at) const {
    return bytes_[at] == '\r' && (at + 1 >= count_ || bytes_[at + 1] != '\n');
  }
  // True when `byte`, just peeked at the position, ends the line.
  bool isLineBreak(int byte) const { return byte == '\n' || (byte == '\r' && isLoneCr(position_)); }

  // The byte at the position once line splices are passed; -1 at the end. A
  // splice is a backslash, blanks allowed after it, and a line break.
  int peek() {
    if (position_ < count_ && bytes_[position_] != '\\') {
      return static_cast<unsigned char>(bytes_[position_]);
    }
    return peekPastSplices();
  }

  // peek where a splice may start: kept apart, so that peek stays small.
  __attribute__((noinline)) int peekPastSplices() {
    for (;;) {
      if (position_ >= count_) return -1;
      if (bytes_[position_] != '\\') return static_cast<unsigned char>(bytes_[position_]);
      uint64_t after = position_ + 1;
      while (after < count_ && (bytes_[after] == ' ' || bytes_[after] == '\t')) ++after;
      if (after + 1 < count_ && bytes_[after] == '\r' && bytes_[after + 1] == '\n') ++after;
      if (after >= count_ || (bytes_[after] != '\n' && bytes_[after] != '\r')) return '\\';
      position_ = after + 1;
    }
  }

  // The byte after the one at the position, splices passed; -1 at the end.
  int peekAfter() {
    uint64_t saved = position_;
    peek();
    ++position_;
    int byte = peek();
    position_ = saved;
    return byte;
  }

  void skipBlanksAndComments() {
    for (;;) {
      int byte = peek();
      if (isBlank(byte) || (byte == '\r' && !isLoneCr(position_))) {
        ++position_;
      } else if (byte == '/' && peekAfter() == '/') {
        skipToLineEnd();
      } else if (byte == '/' && peekAfter() == '*') {
        ++position_;
        peek();
        ++position_;
        skipBlockComment();
      } else {
        return;
      }
    }
  }

  // Past the `*/` that closes a comment whose `/*` is passed. A `*` followed
  // by a backslash may close it through a splice: that rare case is read
  // byte by byte.
  void skipBlockComment() {
    for (;;) {
      uint64_t star = findByte(bytes_, position_, count_, '*');
      if (star + 1 >= count_) {
        position_ = count_;
        return;
      }
      if (bytes_[star + 1] == '/') {
        position_ = star + 2;
        return;
      }
      position_ = star;
      if (bytes_[star + 1] == '\\') break;
      ++position_;
    }
    for (int previous = 0, byte; (byte = peek()) >= 0; previous = byte) {
      ++position_;
      if (previous == '*' && byte == '/') return;
    }
  }

  // A literal ends at its closing quote or, unterminated, before the line end.
  void skipQuoted(int quote) {
    ++position_;
    for (int byte; (byte = peek()) >= 0 && !isLineBreak(byte);) {
      ++position_;
      if (byte == quote) return;
      if (byte == '\\' && (byte = peek()) >= 0 && !isLineBreak(byte)) ++position_;
    }
  }

  // Returns true when a line splice lay inside; one right after it is left
  // to the blanks that follow.
  bool skipIdentifier() {
    uint64_t start = position_;
    uint64_t end = position_;
    uint64_t plain = 0;
    while (isIdentifierByte(peek())) {
      end = ++position_;
      ++plain;
    }
    position_ = end;
    return end - start != plain;
  }

  // A number runs on through letters, digits, dots, digit separators and the
  // sign of an exponent.
  bool skipNumber() {
    uint64_t start = position_;
    uint64_t plain = 0;
    for (int previous = 0;;) {
      int byte = peek();
      bool part = isIdentifierByte(byte) || byte == '.' ||
                  (byte == '\'' && isIdentifierByte(peekAfter())) ||
                  ((byte == '+' || byte == '-') &&
                   (previous == 'e' || previous == 'E' || previous == 'p' || previous == 'P'));
      if (!part) break;
      ++position_;
      ++plain;
      previous = byte;
    }
    return position_ - start != plain;
  }

  bool isRawPrefix(uint64_t start, uint64_t end) const {
    static const char* const kPrefixes[] = {"R", "LR", "uR", "UR", "u8R"};
    for (const char* prefix : kPrefixes) {
      size_t length = strlen(prefix);
      if (end - start == length && memcmp(bytes_ + start, prefix, length) == 0) return true;
    }
    return false;
  }

  // R"delimiter( ... )delimiter": no splices, escapes or comments inside.
  void skipRawString() {
    uint64_t open = position_ + 1;
    uint64_t paren = open;
    while (paren < count_ && paren - open <= 16 && bytes_[paren] != '(' && bytes_[paren] != '\n') {
      ++paren;
    }
    if (paren >= count_ || bytes_[paren] != '(') {
      // Not a raw string after all: read it as an ordinary literal.
      skipQuoted('"');
      return;
    }
    uint64_t delimiterLength = paren - open;
    for (uint64_t at = paren + 1; at < count_; ++at) {
      if (bytes_[at] == ')' && at + delimiterLength + 1 < count_ &&
          memcmp(bytes_ + at + 1, bytes_ + open, delimiterLength) == 0 &&
          bytes_[at + 1 + delimiterLength] == '"') {
        position_ = at + delimiterLength + 2;
        return;
      }
    }
    position_ = count_;
  }

  const char* bytes_;
  uint64_t count_;
  uint64_t position_ = 0;
  bool holdsCr_;
};

// True when an identifier is `word`, line splices inside it passed over.
bool spells(const char* bytes, const Token& token, const char* word) {
  if (token.kind != TokenKind::Identifier) return false;
  // Within an identifier, and right after it, a backslash only starts a splice.
  auto passSplices = [&](uint64_t at) {
    while (token.spliced && at < token.end && bytes[at] == '\\') {
      ++at;
      while (bytes[at] == ' ' || bytes[at] == '\t') ++at;
      at += bytes[at] == '\r' && bytes[at + 1] == '\n' ? 2 : 1;
    }
    return at;
  };
  uint64_t at = token.start;
  for (; *word != 0; ++word, ++at) {
    at = passSplices(at);
    if (at >= token.end || bytes[at] != *word) return false;
  }
  return passSplices(at) == token.end;
}

bool isPunctuator(const char* bytes, const Token& token, char which) {
  return token.kind == TokenKind::Punctuator && bytes[token.start] == which;
}

bool isStringLiteral(const char* bytes, const Token& token) {
  return token.kind == TokenKind::Literal && bytes[token.start] == '"';
}

// A macro's name that the modes can compare byte for byte: no splice, no
// byte beyond ASCII and no universal character name (which starts with a
// backslash right after the bytes read).
bool isPlainName(const char* bytes, uint64_t count, const Token& token) {
  if (token.kind != TokenKind::Identifier || token.spliced) return false;
  for (uint64_t at = token.start; at < token.end; ++at) {
    if (static_cast<unsigned char>(bytes[at]) >= 0x80) return false;
  }
  uint64_t end = token.end;
  return end + 1 >= count || bytes[end] != '\\' || (bytes[end + 1] != 'u' && bytes[end + 1] != 'U');
}

// The kind of include whose name starts with `name`.
DirectiveKind includeKind(const char* bytes, const Token& name) {
  if (isStringLiteral(bytes, name)) return DirectiveKind::QuotedInclude;
  if (isPunctuator(bytes, name, '<')) return DirectiveKind::AngleInclude;
  return name.kind == TokenKind::LineEnd ? DirectiveKind::Other : DirectiveKind::ComputedInclude;
}

// The value of a line number written in plain digits; false when it is none.
bool readLineNumber(const char* bytes, const Token& token, uint64_t* number) {
  if (token.kind != TokenKind::Number || token.spliced) return false;
  *number = 0;
  for (uint64_t at = token.start; at < token.end; ++at) {
    if (bytes[at] < '0' || bytes[at] > '9' || *number > UINT64_MAX / 10 - 10) return false;
    *number = *number * 10 + static_cast<uint64_t>(bytes[at] - '0');
  }
  return true;
}

// `#line N "name"` or `# N "name"`: the tokens from the number on.
void readLine(const char* bytes, const Token* tokens, int count, Directive* directive) {
  uint64_t number;
  if (count < 1 || !readLineNumber(bytes, tokens[0], &number)) return;
  directive->kind = DirectiveKind::Line;
  directive->spanStart = number;
  if (count >= 2 && isStringLiteral(bytes, tokens[1]) && !tokens[1].spliced &&
      tokens[1].end - tokens[1].start >= 2) {
    directive->nameStart = tokens[1].start + 1;
    directive->nameLength = static_cast<uint32_t>(tokens[1].end - tokens[1].start - 2);
  }
}

// The text of a pragma given as the string literal bytes[start, end), read as
// `once` or `pop_macro("G")`; G's bytes go to the directive. False when the
// pragma is neither.
bool readPragmaText(const char* bytes, uint64_t start, uint64_t end, Directive* directive) {
  auto skipBlanks = [&](uint64_t at) {
    while (at < end && isBlank(bytes[at])) ++at;
    return at;
  };
  auto word = [&](uint64_t at, const char* text) {
    size_t length = strlen(text);
    return end - at >= length && memcmp(bytes + at, text, length) == 0 ? at + length : 0;
  };
  while (end > start && isBlank(bytes[end - 1])) --end;
  uint64_t at = skipBlanks(start);
  if (word(at, "once") == end) {
    directive->kind = DirectiveKind::PragmaOnce;
    return true;
  }
  // Inside the literal the name's quotes are escaped: pop_macro(\"G\").
  if ((at = word(at, "pop_macro")) == 0 || (at = word(skipBlanks(at), "(")) == 0 ||
      (at = word(skipBlanks(at), "\\\"")) == 0) {
    return false;
  }
  uint64_t name = at;
  bool plain = true;
  for (; at < end && isIdentifierByte(bytes[at]); ++at) {
    plain = plain && static_cast<unsigned char>(bytes[at]) < 0x80;
  }
  if (word(at, "\\\"") == 0) return false;
  directive->kind = DirectiveKind::PopMacro;
  directive->nameStart = name;
  directive->nameLength = plain ? static_cast<uint32_t>(at - name) : 0;
  return true;
}

// `#pragma once` or `#pragma pop_macro("G")`, from `pragma` on.
void readPragma(const char* bytes, const Token* tokens, int count, Directive* directive) {
  if (count >= 2 && spells(bytes, tokens[1], "once")) {
    directive->kind = DirectiveKind::PragmaOnce;
    directive->spanStart = tokens[0].start;
    directive->spanEnd = tokens[1].end;
  } else if (count == 5 && spells(bytes, tokens[1], "pop_macro") &&
             isPunctuator(bytes, tokens[2], '(') && isStringLiteral(bytes, tokens[3]) &&
             isPunctuator(bytes, tokens[4], ')')) {
    directive->kind = DirectiveKind::PopMacro;
    directive->nameStart = tokens[3].start + 1;
    directive->nameLength = static_cast<uint32_t>(tokens[3].end - tokens[3].start - 2);
    for (uint64_t at = tokens[3].start + 1; at + 1 < tokens[3].end; ++at) {
      if (!isIdentifierByte(bytes[at]) || static_cast<unsigned char>(bytes[at]) >= 0x80) {
        directive->nameLength = 0;
      }
    }
  }
}

// Reads the directive after its `#` up to its line end and fills `directive`.
void readDirective(const char* bytes, uint64_t count, Tokens* tokens, Directive* directive) {
  // Enough tokens to tell `if ! defined ( G )` from anything longer.
  constexpr int kKept = 6;
  Token kept[kKept];
  int seen = 0;
  directive->kind = DirectiveKind::Other;
  directive->nameStart = 0;
  directive->nameLength = 0;
  directive->inText = false;
  directive->spanStart = 0;
  directive->spanEnd = 0;
  Token first = tokens->next();
  if (spells(bytes, first, "include") || spells(bytes, first, "include_next") ||
      spells(bytes, first, "import")) {
    // A header name is no string: `<a/*b.h>` opens no comment, so the rest
    // of the line is passed unread.
    directive->kind = includeKind(bytes, tokens->next());
    tokens->skipToLineEnd();
    return;
  }
  for (Token token = first; token.kind != TokenKind::LineEnd; token = tokens->next(), ++seen) {
    if (seen < kKept) kept[seen] = token;
  }
  if (seen == 0) return;
  const Token& keyword = kept[0];
  int nameAt = -1;
  if (spells(bytes, keyword, "if")) {
    directive->kind = DirectiveKind::Open;
    bool notDefined =
        seen >= 3 && isPunctuator(bytes, kept[1], '!') && spells(bytes, kept[2], "defined");
    if (notDefined && seen == 4) nameAt = 3;
    if (notDefined && seen == 6 && isPunctuator(bytes, kept[3], '(') &&
        isPunctuator(bytes, kept[5], ')')) {
      nameAt = 4;
    }
  } else if (spells(bytes, keyword, "ifndef")) {
    directive->kind = DirectiveKind::Open;
    if (seen == 2) nameAt = 1;
  } else if (spells(bytes, keyword, "ifdef")) {
    directive->kind = DirectiveKind::Open;
  } else if (spells(bytes, keyword, "endif")) {
    directive->kind = DirectiveKind::Close;
  } else if (spells(bytes, keyword, "else") || spells(bytes, keyword, "elif") ||
             spells(bytes, keyword, "elifdef") || spells(bytes, keyword, "elifndef")) {
    directive->kind = DirectiveKind::Alternative;
  } else if (spells(bytes, keyword, "define")) {
    directive->kind = DirectiveKind::Define;
    if (seen >= 2) nameAt = 1;
  } else if (spells(bytes, keyword, "undef")) {
    directive->kind = DirectiveKind::Undef;
    if (seen >= 2) nameAt = 1;
  } else if (spells(bytes, keyword, "pragma")) {
    readPragma(bytes, kept, seen < kKept ? seen : kKept, directive);
  } else if (spells(bytes, keyword, "line")) {
    readLine(bytes, kept + 1, (seen < kKept ? seen : kKept) - 1, directive);
  } else if (keyword.kind == TokenKind::Number) {
    readLine(bytes, kept, seen < kKept ? seen : kKept, directive);
  }
  if (nameAt >= 0 && isPlainName(bytes, count, kept[nameAt])) {
    directive->nameStart = kept[nameAt].start;
    directive->nameLength = static_cast<uint32_t>(kept[nameAt].end - kept[nameAt].start);
  }
}

bool sameName(const char* bytes, const Directive& first, const Directive& second) {
  return first.nameLength > 0 && first.nameLength == second.nameLength &&
         memcmp(bytes + first.nameStart, bytes + second.nameStart, first.nameLength) == 0;
}

// True when bytes[0, count) hold `_Pragma` somewhere. Its `P` is found
// first: it is far rarer than `_` in code.
bool holdsPragmaOperator(const char* bytes, uint64_t count) {
  constexpr char kWord[] = "_Pragma";
  constexpr uint64_t kLength = sizeof kWord - 1;
  for (uint64_t at = 1; at < count && count - (at - 1) >= kLength; ++at) {
    at = findByte(bytes, at, count, 'P');
    if (at < count && count - (at - 1) >= kLength && memcmp(bytes + at - 1, kWord, kLength) == 0) {
      return true;
    }
  }
  return false;
}

// A new directive whose first token starts at `at`; null when no memory can be had.
Directive* addDirective(const char* bytes, uint64_t at, bool textBefore, DirectiveList* list) {
  if (!reserveItems(&list->items, &list->capacity, list->count, list->count + 1)) return nullptr;
  Directive* directive = &list->items[list->count++];
  uint64_t lineStart = at;
  // A CR that no LF follows ends a line too.
  while (lineStart > 0 && bytes[lineStart - 1] != '\n' &&
         (bytes[lineStart - 1] != '\r' || bytes[lineStart] == '\n')) {
    --lineStart;
  }
  directive->lineStart = lineStart;
  directive->textBefore = textBefore;
  return directive;
}

// Reads a text line's tokens from `token` on and lists each `_Pragma("...")`
// that says `once` or `pop_macro`. Returns false when no memory can be had.
bool listPragmaOperators(const char* bytes, Tokens* tokens, Token token, DirectiveList* list) {
  while (token.kind != TokenKind::LineEnd) {
    if (!spells(bytes, token, "_Pragma")) {
      token = tokens->next();
      continue;
    }
    uint64_t start = token.start;
    if (!isPunctuator(bytes, token = tokens->next(), '(')) continue;
    Token literal = tokens->next();
    if (!isStringLiteral(bytes, literal) || literal.spliced) {
      token = literal;
      continue;
    }
    if (!isPunctuator(bytes, token = tokens->next(), ')')) continue;
    Directive found = {};
    if (readPragmaText(bytes, literal.start + 1, literal.end - 1, &found)) {
      Directive* directive = addDirective(bytes, start, true, list);
      if (directive == nullptr) return false;
      found.lineStart = directive->lineStart;
      found.textBefore = true;
      found.inText = true;
      found.spanStart = start;
      found.spanEnd = found.end = token.end;
      *directive = found;
    }
    token = tokens->next();
  }
  return true;
}

}  // namespace

int listDirectives(const char* bytes, uint64_t count, DirectiveList* list) {
  list->count = 0;
  Tokens tokens(bytes, count);
  // Text lines are read token by token only where an operator may stand.
  bool pragmaOperators = holdsPragmaOperator(bytes, count);
  bool atLineStart = true;
  bool text = false;
  for (;;) {
    Token token = tokens.next();
    if (token.kind == TokenKind::LineEnd) {
      if (tokens.atEnd()) break;
      tokens.passLineEnd();
      atLineStart = true;
      continue;
    }
    if (!(atLineStart && token.kind == TokenKind::Hash)) {
      atLineStart = false;
      text = true;
      if (!pragmaOperators) {
        tokens.skipText();
      } else if (!listPragmaOperators(bytes, &tokens, token, list)) {
        return 0;
      }
      continue;
    }
    Directive* directive = addDirective(bytes, token.start, text, list);
    if (directive == nullptr) return 0;
    readDirective(bytes, count, &tokens, directive);
    directive->end = tokens.position();
    text = false;
    atLineStart = false;
  }
  list->textAfter = text;
  return 1;
}

void freeDirectives(DirectiveList* list) {
  ::operator delete(list->items);
  *list = DirectiveList();
}

OnceClass classifyOnce(const char* bytes, const DirectiveList& list) {
  OnceClass result;
  for (uint32_t at = 0; at < list.count; ++at) {
    if (list.items[at].kind == DirectiveKind::PragmaOnce) result.pragmaOnce = true;
  }
  if (list.count < 3 || list.textAfter || list.items[0].textBefore) return result;
  const Directive& open = list.items[0];
  const Directive& define = list.items[1];
  if (open.kind != DirectiveKind::Open || define.kind != DirectiveKind::Define ||
      !sameName(bytes, open, define)) {
    return result;
  }
  uint32_t depth = 1;
  uint32_t at = 1;
  for (; at < list.count && depth > 0; ++at) {
    DirectiveKind kind = list.items[at].kind;
    if (kind == DirectiveKind::Open) ++depth;
    if (kind == DirectiveKind::Close) --depth;
    if (kind == DirectiveKind::Alternative && depth == 1) return result;
  }
  if (depth > 0 || at != list.count) return result;
  result.guarded = true;
  result.guardStart = open.nameStart;
  result.guardLength = open.nameLength;
  return result;
}
