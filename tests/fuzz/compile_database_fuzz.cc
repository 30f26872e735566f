// Fuzz target: the compilation database's reader and the splitter of a
// command into words. The input is read twice, in chunks of 1 to 13 bytes
// and in one piece: both readings must visit the same entries and say the
// same, every entry must be whole and stand where it says, and a reading
// that fails must say why in one line. Every command is split by both rules:
// its words hold no more bytes than its text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../../driver/command_words.h"
#include "../../driver/compile_database.h"
#include "check.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at;
  // 0 gives all that fits; else chunks of varying size, from the input's bytes.
  bool chunked;
  size_t calls;
};

int64_t readInput(char* buffer, size_t room, void* context) {
  auto* input = static_cast<Input*>(context);
  size_t count = input->size - input->at;
  if (input->chunked && input->size > 0) {
    size_t chunk = 1 + (input->calls * 7 + input->data[input->calls % input->size]) % 13;
    if (chunk < count) count = chunk;
  }
  if (count > room) count = room;
  ++input->calls;
  memcpy(buffer, input->data + input->at, count);
  input->at += count;
  return static_cast<int64_t>(count);
}

struct Visits {
  const uint8_t* data;
  size_t size;
  // Each entry, flattened into one text.
  std::vector<std::string> entries;
};

// True when line `line` (from 1) of the input holds a `{`.
bool lineHoldsBrace(const uint8_t* data, size_t size, uint64_t line) {
  size_t at = 0;
  for (uint64_t current = 1; current < line && at < size; ++at) {
    if (data[at] == '\n') ++current;
  }
  for (; at < size && data[at] != '\n'; ++at) {
    if (data[at] == '{') return true;
  }
  return false;
}

// Splits a command by `rules`: words only from its bytes, none empty unless
// quoted, and nothing appended when a quote stays open.
void checkSplit(const char* command, CommandRules rules) {
  size_t length = strlen(command);
  WordList list = {};
  SplitResult result = splitCommandWords(command, length, rules, &list);
  FUZZ_CHECK(result != SplitResult::NoMemory);
  if (result == SplitResult::UnbalancedQuote) FUZZ_CHECK(list.count == 0);
  size_t bytes = 0;
  for (uint32_t at = 0; at < list.count; ++at) bytes += strlen(list.words[at]);
  FUZZ_CHECK(bytes <= length);
  FUZZ_CHECK(list.count <= length / 2 + 1);
  if (list.count > 0) ::operator delete(list.words[0]);
  freeWordArray(&list);
}

bool checkEntry(const CompileEntry& entry, void* context) {
  auto* visits = static_cast<Visits*>(context);
  FUZZ_CHECK(entry.directory != nullptr && entry.file != nullptr);
  FUZZ_CHECK((entry.command == nullptr) == (entry.arguments != nullptr));
  FUZZ_CHECK(entry.command != nullptr || entry.argumentCount > 0);
  FUZZ_CHECK(entry.command == nullptr || entry.argumentCount == 0);
  FUZZ_CHECK(entry.number == visits->entries.size() + 1);
  FUZZ_CHECK(entry.line >= 1);
  FUZZ_CHECK(lineHoldsBrace(visits->data, visits->size, entry.line));
  std::string text = std::to_string(entry.line) + '\0' + entry.directory + '\0' + entry.file;
  text += '\0' + std::string(entry.command != nullptr ? entry.command : "");
  if (entry.command != nullptr) {
    checkSplit(entry.command, CommandRules::Posix);
    checkSplit(entry.command, CommandRules::Windows);
    rulesForCommand(entry.command);
  }
  for (uint32_t at = 0; at < entry.argumentCount; ++at) {
    FUZZ_CHECK(entry.arguments[at] != nullptr);
    text += '\0' + std::string(entry.arguments[at]);
  }
  visits->entries.push_back(text);
  return true;
}

struct Outcome {
  int status;
  Visits visits;
  std::string messages;
};

// One reading, with what it says on standard error caught in memory.
Outcome readOnce(const uint8_t* data, size_t size, bool chunked) {
  Input input = {data, size, 0, chunked, 0};
  Outcome outcome = {0, {data, size, {}}, {}};
  char* messages = nullptr;
  size_t length = 0;
  // glibc's stderr is a variable: the tool's messages go to a memory stream,
  // while libFuzzer and the sanitizers keep the real one.
  FILE* saved = stderr;
  stderr = open_memstream(&messages, &length);
  FUZZ_CHECK(stderr != nullptr);
  outcome.status = readCompileDatabase(readInput, &input, "db.json", checkEntry, &outcome.visits);
  fclose(stderr);
  stderr = saved;
  outcome.messages.assign(messages, length);
  free(messages);
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Outcome chunked = readOnce(data, size, true);
  Outcome whole = readOnce(data, size, false);
  FUZZ_CHECK(chunked.status == whole.status);
  FUZZ_CHECK(chunked.visits.entries == whole.visits.entries);
  FUZZ_CHECK(chunked.messages == whole.messages);
  if (whole.status == 1) {
    FUZZ_CHECK(whole.messages.empty());
  } else {
    const std::string& message = whole.messages;
    FUZZ_CHECK(message.compare(0, 8, "tuflat: ") == 0);
    FUZZ_CHECK(message.find('\n') == message.size() - 1);
  }
  return 0;
}
