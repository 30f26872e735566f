// Fuzz target: the option file's normalisation and the options collected from
// it. The normalised text is checked against the input line by line, and every
// collected entry against the line it came from.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../../driver/options.h"
#include "../../platform/full_path.h"
#include "check.h"

namespace {

bool isSpacing(char byte) {
  return byte == ' ' || byte == '\t';
}

// Each input line's bytes before its comment, without CRs and spacing: the
// text normalisation must keep, in order, when it is not empty.
std::vector<std::string> keptLines(const std::string& input) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    std::string kept;
    for (size_t i = start; i < end && input[i] != '#'; ++i) {
      if (input[i] != '\r' && !isSpacing(input[i])) kept.push_back(input[i]);
    }
    if (!kept.empty()) lines.push_back(kept);
    start = end + 1;
  }
  return lines;
}

// The normalised text's lines, the last one also without its LF.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string withoutSpaces(const std::string& text) {
  std::string result;
  for (char byte : text) {
    if (byte != ' ') result.push_back(byte);
  }
  return result;
}

void checkNormalised(const std::string& input, const std::string& output) {
  FUZZ_CHECK(output.size() <= input.size());
  FUZZ_CHECK(output.find_first_of("\r\t#") == std::string::npos);
  FUZZ_CHECK(output.empty() || output[0] != '\n');
  FUZZ_CHECK(output.find("\n\n") == std::string::npos);
  std::vector<std::string> lines = splitLines(output);
  std::vector<std::string> kept;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string text = withoutSpaces(lines[i]);
    // Only a last line without an LF may be spacing alone.
    bool ended = i + 1 < lines.size() || output.back() == '\n';
    FUZZ_CHECK(!text.empty() || !ended);
    if (!text.empty()) kept.push_back(text);
  }
  FUZZ_CHECK(kept == keptLines(input));
}

// The define text that the value (a C string) must give.
std::string defineFor(const std::string& line) {
  std::string value(line.c_str() + 2);
  size_t equals = value.find('=');
  if (equals == std::string::npos) return "#define " + value;
  return "#define " + value.substr(0, equals) + " " + value.substr(equals + 1);
}

std::string narrow(const char16_t* text) {
  std::string result;
  for (; *text != 0; ++text) {
    FUZZ_CHECK(*text <= 0xFF);
    result.push_back(static_cast<char>(*text));
  }
  return result;
}

void checkCollected(char* text, uint64_t length, char letter, OptionKind kind) {
  std::string before(text, length + 1);
  std::vector<std::string> options;
  for (const std::string& line : splitLines(std::string(text, length))) {
    if (line.size() >= 2 && line[0] == '/' && line[1] == letter) options.push_back(line);
  }
  uint32_t count = collectOptions(text, length, letter, nullptr, kind);
  FUZZ_CHECK(count == options.size());
  std::vector<TextEntry> table(count + 1);
  FUZZ_CHECK(collectOptions(text, length, letter, table.data(), kind) == count);
  FUZZ_CHECK(std::string(text, length + 1) == before);
  for (uint32_t i = 0; i < count; ++i) {
    const char16_t* entry = table[i].text;
    FUZZ_CHECK(table[i].count == wideLength(entry) + 1);
    if (kind == OptionKind::Defines) {
      FUZZ_CHECK(narrow(entry) == defineFor(options[i]));
    } else {
      // Resolved: absolute, and either prefixed or a network or device path.
      FUZZ_CHECK(entry[0] == u'\\' && entry[1] == u'\\');
    }
    ::operator delete(table[i].text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  // The option text keeps one byte of room after it.
  std::vector<char> buffer(input.begin(), input.end());
  buffer.push_back(0);
  uint64_t length = normaliseOptionText(buffer.data(), input.size());
  checkNormalised(input, std::string(buffer.data(), length));
  checkCollected(buffer.data(), length, 'I', OptionKind::Paths);
  checkCollected(buffer.data(), length, 'D', OptionKind::Defines);
  return 0;
}
