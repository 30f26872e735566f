// Fuzz target: the scan of one file's bytes. Every line must reach the output
// once, in order, ended by one LF (a CR before it dropped), or by the CR that
// ended it when no LF follows that CR; an include line
// comes out after "//--- ", with the lines its directive runs on to (while a
// backslash joins the next line, or a block comment may be open) each after
// "//--- " too, and is followed by the included file's text or by a marker.
// A line joined to the one before is no include line.
//
// Includes are searched in one scratch directory that holds the file `x` and
// the output `out`, and nothing else can be reached: `.` and `?` bytes, which
// the scan gives no meaning, become `_`, so no name climbs out with `..` or is
// opened directly with `\\?`.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "../../flatten/expand.h"
#include "../../output/diagnostics.h"
#include "../../output/output.h"
#include "../../output/run_state.h"
#include "check.h"

namespace {

constexpr char kIncludedText[] = "int x;\n";
const std::string kFollowers[] = {kIncludedText, "!!! NO FILE !!!\n", "!!! OUTPUT FILE !!!\n"};

std::string directory;
std::string outputPath;
std::string includedPath;

void removeScratch() {
  unlink(includedPath.c_str());
  unlink(outputPath.c_str());
  rmdir(directory.c_str());
}

void writeFile(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(fwrite(text.data(), 1, text.size(), file) == text.size());
  FUZZ_CHECK(fclose(file) == 0);
}

std::string readFile(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  FUZZ_CHECK(file != nullptr);
  std::string text;
  char block[1 << 16];
  size_t got;
  while ((got = fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
  fclose(file);
  return text;
}

void setUp() {
  char name[] = "/tmp/tuflat-fuzz-scan-XXXXXX";
  FUZZ_CHECK(mkdtemp(name) != nullptr);
  directory = name;
  includedPath = directory + "/x";
  outputPath = directory + "/out";
  writeFile(includedPath, kIncludedText);
  atexit(removeScratch);
  // The progress lines are not what is checked.
  FUZZ_CHECK(freopen("/dev/null", "w", stdout) != nullptr);
  // The text is scanned outside any file being expanded: a diagnostic would
  // have no file to name.
  WarningsShown = false;

  // The one search directory, as the tool names it.
  std::u16string slot = u"\\\\?\\Z:";
  for (char byte : directory)
    slot.push_back(byte == '/' ? u'\\' : static_cast<unsigned char>(byte));
  static TextEntry entry;
  FUZZ_CHECK(makeTextEntry(slot.c_str(), slot.size(), u"", &entry));
  SearchList.entries = &entry;
  SearchList.count = 1;
}

// A line of the file and what ends it in the output when it is copied: an
// LF, or the CR that ended it when no LF followed that CR.
struct Line {
  std::string text;
  std::string end;
};

// The file's lines: an LF ends one, and so does a CR that no LF follows
// (but for a last byte); a last line may lack its end. A CR before the LF
// is not part of the line.
std::vector<Line> linesOf(const std::string& text) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\n' &&
           !(text[end] == '\r' && end + 1 < text.size() && text[end + 1] != '\n')) {
      ++end;
    }
    bool loneCr = end < text.size() && text[end] == '\r';
    size_t textEnd = !loneCr && end > start && text[end - 1] == '\r' ? end - 1 : end;
    lines.push_back({text.substr(start, textEnd - start), loneCr ? "\r" : "\n"});
    start = end + 1;
  }
  return lines;
}

// An include line holds `#` (or `%:`) and, after it, the two quotes of its name.
bool couldBeInclude(const std::string& line) {
  size_t hash = std::min(line.find('#'), line.find("%:"));
  if (hash == std::string::npos) return false;
  size_t open = line.find('"', hash);
  return open != std::string::npos && line.find('"', open + 1) != std::string::npos;
}

// A line that ends with a backslash, perhaps followed by spaces or tabs: the
// compiler joins the next line to it.
bool continues(const std::string& line) {
  size_t last = line.find_last_not_of(" \t");
  return last != std::string::npos && line[last] == '\\';
}

// Whether the output is the lines in the expected form. A line could be read
// both ways, so every way is followed, and each state once.
bool matches(const std::vector<Line>& lines, const std::string& output) {
  auto follows = [&](size_t at, const std::string& text) {
    return output.compare(at, text.size(), text) == 0;
  };
  // A state: lines[0, line) account for output[0, at).
  std::vector<std::pair<size_t, size_t>> pending = {{0, 0}};
  std::set<std::pair<size_t, size_t>> seen;
  while (!pending.empty()) {
    auto [line, at] = pending.back();
    pending.pop_back();
    if (!seen.insert({line, at}).second) continue;
    if (line == lines.size()) {
      if (at == output.size()) return true;
      continue;
    }
    const std::string& text = lines[line].text;
    if (follows(at, text + lines[line].end)) pending.push_back({line + 1, at + text.size() + 1});
    if (!couldBeInclude(text) || (line > 0 && continues(lines[line - 1].text))) continue;
    // The directive's lines, commented; the text follows once one ends unjoined,
    // or after an empty line for the last line of the file to join.
    std::string directive;
    for (size_t last = line, next = at; last < lines.size(); ++last) {
      std::string commented = "//--- " + lines[last].text + "\n";
      if (!follows(next, commented)) break;
      next += commented.size();
      directive += lines[last].text;
      bool joined = continues(lines[last].text);
      if (joined && last + 1 < lines.size()) continue;
      size_t after = next + (joined ? 1 : 0);
      if (joined && !follows(next, "\n")) break;
      for (const std::string& follower : kFollowers) {
        if (follows(after, follower)) pending.push_back({last + 1, after + follower.size()});
      }
      if (directive.find("/*") == std::string::npos) break;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (directory.empty()) setUp();
  std::string input(reinterpret_cast<const char*>(data), size);
  for (char& byte : input) {
    if (byte == '.' || byte == '?') byte = '_';
  }
  OutputFile.handle =
      CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  CREATE_ALWAYS, 0, nullptr);
  FUZZ_CHECK(OutputFile.handle != INVALID_HANDLE_VALUE);
  OutputIdentityKnown = getFileIdentity(OutputFile.handle, &OutputIdentity) != 0;

  // A file's bytes have room for a terminator after them.
  std::vector<char> bytes(input.begin(), input.end());
  bytes.push_back(0);
  scanText(bytes.data(), input.size());
  flushOutput();
  FUZZ_CHECK(CloseHandle(OutputFile.handle));
  OutputFile.handle = nullptr;

  FUZZ_CHECK(matches(linesOf(input), readFile(outputPath)));
  return 0;
}
