// The compilation database: its reader, read whole or a few bytes at a time,
// and the search for the entry that compiles the main source.
#include "../driver/compile_database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "../output/run_state.h"
#include "../platform/full_path.h"
#include "test_files.h"

namespace {

// An entry as visited, copied out of the reader's buffers.
struct Entry {
  std::string directory;
  std::string file;
  bool hasCommand;
  std::string command;
  std::vector<std::string> arguments;
  uint64_t number;
  uint64_t line;
};

Entry copied(const CompileEntry& entry) {
  Entry copy = {entry.directory,
                entry.file,
                entry.command != nullptr,
                entry.command != nullptr ? entry.command : "",
                {},
                entry.number,
                entry.line};
  for (uint32_t at = 0; at < entry.argumentCount; ++at)
    copy.arguments.push_back(entry.arguments[at]);
  return copy;
}

// The database's text, given `step` bytes at a time, or 1 to 7 in turn with
// `step` 0; failing with ERROR_ACCESS_DENIED at `failAt`.
struct MemoryDatabase {
  std::string text;
  size_t step;
  size_t failAt;
  size_t at = 0;
  size_t calls = 0;
};

int64_t readMemory(char* buffer, size_t room, void* context) {
  auto* database = static_cast<MemoryDatabase*>(context);
  if (database->at >= database->failAt) {
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
  }
  size_t count = database->step != 0 ? database->step : 1 + database->calls % 7;
  ++database->calls;
  count = std::min(
      {count, room, database->text.size() - database->at, database->failAt - database->at});
  memcpy(buffer, database->text.data() + database->at, count);
  database->at += count;
  return static_cast<int64_t>(count);
}

struct Reading {
  int status;
  std::vector<Entry> entries;
  std::string messages;
};

struct Visits {
  std::vector<Entry>* entries;
  size_t stopAfter;
};

bool collect(const CompileEntry& entry, void* context) {
  auto* visits = static_cast<Visits*>(context);
  visits->entries->push_back(copied(entry));
  return visits->entries->size() < visits->stopAfter;
}

Reading readDatabase(const std::string& text, size_t step, size_t stopAfter = SIZE_MAX,
                     size_t failAt = SIZE_MAX) {
  MemoryDatabase database = {text, step, failAt};
  Reading reading;
  Visits visits = {&reading.entries, stopAfter};
  testing::internal::CaptureStderr();
  reading.status = readCompileDatabase(readMemory, &database, "db.json", collect, &visits);
  reading.messages = testing::internal::GetCapturedStderr();
  return reading;
}

// Read whole (64 KiB at a time) and a few bytes at a time: the same failure,
// whose messages are returned.
std::string messagesOf(const std::string& text) {
  Reading whole = readDatabase(text, 65536);
  Reading bytes = readDatabase(text, 0);
  EXPECT_EQ(whole.status, 0) << text;
  EXPECT_EQ(bytes.status, 0) << text;
  EXPECT_EQ(whole.messages, bytes.messages) << text;
  EXPECT_EQ(whole.entries.size(), bytes.entries.size()) << text;
  return whole.messages;
}

TEST(ReadCompileDatabase, EntriesWithArgumentsAndWithCommand) {
  Reading reading = readDatabase(
      R"([{"directory": "/work/b", "arguments": ["cc", "-I", "in\"c", "-DX=\u00e9", "a.c"],)"
      R"( "file": "a.c"},)"
      "\n"
      R"({"file": "../b.c", "command": "cc -c ../b.c", "directory": "C:\\w"}])",
      65536);
  EXPECT_EQ(reading.status, 1);
  EXPECT_EQ(reading.messages, "");
  ASSERT_EQ(reading.entries.size(), 2u);
  const Entry& first = reading.entries[0];
  EXPECT_EQ(first.directory, "/work/b");
  EXPECT_EQ(first.file, "a.c");
  EXPECT_FALSE(first.hasCommand);
  EXPECT_EQ(first.arguments,
            (std::vector<std::string>{"cc", "-I", "in\"c", "-DX=\xc3\xa9", "a.c"}));
  const Entry& second = reading.entries[1];
  EXPECT_EQ(second.directory, "C:\\w");
  EXPECT_EQ(second.file, "../b.c");
  EXPECT_TRUE(second.hasCommand);
  EXPECT_EQ(second.command, "cc -c ../b.c");
  EXPECT_TRUE(second.arguments.empty());
  EXPECT_EQ(second.number, 2u);
}

TEST(ReadCompileDatabase, MembersOfEveryOtherKindAreSkipped) {
  // Inside the skipped values stand members that would be wrong in an entry.
  std::string text = R"([{"output": "a.o", "n": -1, "u": 18446744073709551615, "f": 1.5e3,)"
                     R"( "t": true, "z": null, "directory": "/d",)"
                     R"( "o": {"directory": 5, "arguments": [1, {"file": []}], "x": {}},)"
                     R"( "a": [[{"command": 2}], "s", [], null], "file": "a.c",)"
                     R"( "command": "cc a.c", "e": {}}, {"directory": "/e", "file": "b.c",)"
                     R"( "arguments": ["cc"], "DIRECTORY": 1, "z": [[[[[]]]]]}])";
  Reading reading = readDatabase(text, 0);
  EXPECT_EQ(reading.status, 1);
  EXPECT_EQ(reading.messages, "");
  ASSERT_EQ(reading.entries.size(), 2u);
  EXPECT_EQ(reading.entries[0].directory, "/d");
  EXPECT_EQ(reading.entries[0].command, "cc a.c");
  EXPECT_EQ(reading.entries[1].arguments, std::vector<std::string>{"cc"});
}

TEST(ReadCompileDatabase, EntriesKnowTheLineOfTheirBrace) {
  std::string entry = R"({"directory": "/d", "file": "a.c", "command": "cc"})";
  std::string text = "[" + entry + ",\r\n\n  " + entry + ",\n\n\n{\n\"directory\": \"/d\",\n" +
                     R"("file": "x", "arguments": ["a"]}, )" + entry + "\n]\n";
  for (size_t step : {65536, 0, 1}) {
    Reading reading = readDatabase(text, step);
    ASSERT_EQ(reading.entries.size(), 4u);
    std::vector<uint64_t> lines;
    for (const Entry& visited : reading.entries) lines.push_back(visited.line);
    EXPECT_EQ(lines, (std::vector<uint64_t>{1, 3, 6, 8})) << step;
  }
}

TEST(ReadCompileDatabase, MalformedJsonNamesItsPlace) {
  EXPECT_EQ(messagesOf(""),
            "tuflat: the compilation database 'db.json' is not valid JSON: line 1, column 1: "
            "syntax error while parsing value - unexpected end of input; expected '[', '{', or a "
            "literal\n");
  EXPECT_EQ(messagesOf("[{\"directory\": \"/d\",\n \"file\": x}]"),
            "tuflat: the compilation database 'db.json' is not valid JSON: line 2, column 10: "
            "syntax error while parsing value - invalid literal; last read: '\"file\": x'\n");
  // A line feed inside a string is itself the fault, at the end of its line.
  EXPECT_EQ(messagesOf("[\n\"abc\n\"]").substr(0, 80),
            "tuflat: the compilation database 'db.json' is not valid JSON: line 2, column 5: ");
  EXPECT_NE(messagesOf("[]\n\n  x").find("line 3, column 3: "), std::string::npos);
  EXPECT_NE(messagesOf("[\n").find("line 2, column 1: "), std::string::npos);
  // The parser finds the number too big only after the byte that ends it,
  // which may come in the next chunk.
  for (size_t step = 1; step <= 8; ++step) {
    EXPECT_EQ(readDatabase("[\n  1e999]", step).messages,
              "tuflat: the compilation database 'db.json' is not valid JSON: line 2, column 7: "
              "number overflow parsing '1e999'\n");
  }
  // A string that never ends is quoted only in part.
  std::string message = messagesOf("[\"" + std::string(100000, 's'));
  std::string place = "line 1, column 100003: ";
  ASSERT_NE(message.find(place), std::string::npos) << message.substr(0, 200);
  std::string reason = message.substr(message.find(place) + place.size());
  EXPECT_EQ(reason.size(), 300u + 4u);
  EXPECT_EQ(reason.substr(0, 50), "syntax error while parsing value - invalid string:");
  EXPECT_EQ(reason.substr(300), "...\n");
}

TEST(ReadCompileDatabase, WrongShapesAreNamed) {
  const std::string ok = R"("directory": "/d", "file": "a.c", "command": "cc")";
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"{}", "tuflat: the compilation database 'db.json' is not an array of entries but an object"},
      {"\"x\"",
       "tuflat: the compilation database 'db.json' is not an array of entries but a string"},
      {"[{" + ok + "},\n\n 7]",
       "entry 2 of the compilation database 'db.json' (line 3) is not an "
       "object but a number"},
      {"[{" + ok + "}, [{" + ok + "}]]",
       "entry 2 of the compilation database 'db.json' (line 1) is not an object but an array"},
      {R"([{"file": "a.c", "command": "cc"}])",
       "entry 1 of the compilation database 'db.json' (line 1) has no 'directory'"},
      {"[\n{\"directory\": \"/d\", \"command\": \"cc\"}]",
       "entry 1 of the compilation database 'db.json' (line 2) has no 'file'"},
      {R"([{"directory": "/d", "file": "a.c"}])",
       "entry 1 of the compilation database 'db.json' (line 1) has neither 'arguments' nor "
       "'command'"},
      {R"([{"directory": "/d", "file": "a.c", "arguments": []}])",
       "entry 1 of the compilation database 'db.json' (line 1): 'arguments' is empty"},
      {R"([{"directory": "/d", "file": "a.c", "arguments": "cc a.c"}])",
       "entry 1 of the compilation database 'db.json' (line 1): 'arguments' is not an array of "
       "strings but a string"},
      {R"([{"directory": "/d", "file": "a.c", "arguments": ["cc", "-c", 1]}])",
       "entry 1 of the compilation database 'db.json' (line 1): 'arguments' is not an array of "
       "strings: its item 3 is a number"},
      {R"([{"directory": "/d", "file": "a.c", "arguments": ["cc", ["-c"]]}])",
       "entry 1 of the compilation database 'db.json' (line 1): 'arguments' is not an array of "
       "strings: its item 2 is an array"},
      {R"([{"directory": "/d", "file": "a.c", "command": ["cc"]}])",
       "entry 1 of the compilation database 'db.json' (line 1): 'command' is not a string but an "
       "array"},
      {R"([{"directory": {}, "file": "a.c", "command": "cc"}])",
       "entry 1 of the compilation database 'db.json' (line 1): 'directory' is not a string but an "
       "object"},
      {R"([{"directory": "/d", "file": null, "command": "cc"}])",
       "entry 1 of the compilation database 'db.json' (line 1): 'file' is not a string but null"},
  };
  for (const Case& wrong : cases) {
    std::string expected =
        wrong.message.rfind("tuflat: ", 0) == 0 ? wrong.message : "tuflat: " + wrong.message;
    EXPECT_EQ(messagesOf(wrong.text), expected + "\n") << wrong.text;
  }
}

TEST(ReadCompileDatabase, AVisitorStopsTheReadingWithoutAFault) {
  std::string entry = R"({"directory": "/d", "file": "a.c", "command": "cc"})";
  Reading reading = readDatabase("[" + entry + ", " + entry + ", 5, {]", 0, 2);
  EXPECT_EQ(reading.status, 1);
  EXPECT_EQ(reading.entries.size(), 2u);
  EXPECT_EQ(reading.messages, "");
}

TEST(ReadCompileDatabase, AReadErrorIsNotTakenForTheEnd) {
  std::string entry = R"({"directory": "/d", "file": "a.c", "command": "cc"})";
  std::string text = "[" + entry + ", " + entry + "]";
  // Before the array ends, and after it: the database is unread either way.
  for (size_t failAt : {text.size() - 3, text.size()}) {
    Reading reading = readDatabase(text, 5, SIZE_MAX, failAt);
    EXPECT_EQ(reading.status, 0);
    std::string expected = "tuflat: cannot read the compilation database 'db.json' past byte " +
                           std::to_string(failAt) + ": ";
    EXPECT_EQ(reading.messages.substr(0, expected.size()), expected) << reading.messages;
    EXPECT_EQ(reading.messages.find('\n'), reading.messages.size() - 1);
  }
}

// Strings longer than a chunk, and entries and faults on both sides of each
// chunk's end: read in 1 to 7 bytes at a time, everything is as read whole.
TEST(ReadCompileDatabase, TextsAndLinesStraddleTheChunks) {
  std::string longArgument(70000, 'a');
  std::string text = "[";
  for (int entry = 0; entry < 40; ++entry) {
    text += "{\"directory\": \"/" + std::string(entry * 331 % 4096, 'd') + "\",\n\"file\": \"" +
            std::to_string(entry) + ".c\", \"arguments\": [\"cc\", \"" +
            longArgument.substr(entry) + "\"]},\n";
  }
  text += "{\"directory\": \"/d\", \"file\": \"last.c\", \"command\": \"cc\"}]";
  Reading whole = readDatabase(text, 65536);
  Reading bytes = readDatabase(text, 0);
  ASSERT_EQ(whole.status, 1);
  ASSERT_EQ(bytes.status, 1);
  ASSERT_EQ(whole.entries.size(), 41u);
  ASSERT_EQ(bytes.entries.size(), 41u);
  for (size_t at = 0; at < 41; ++at) {
    EXPECT_EQ(bytes.entries[at].directory, whole.entries[at].directory);
    EXPECT_EQ(bytes.entries[at].arguments, whole.entries[at].arguments);
    EXPECT_EQ(whole.entries[at].line, 1 + 2 * at);
    EXPECT_EQ(bytes.entries[at].line, 1 + 2 * at);
  }
  EXPECT_EQ(whole.entries[39].arguments[1], longArgument.substr(39));
  // A fault at each place around the first chunk's end, after many lines:
  // alone, and after a number, whose end the parser finds a byte later.
  std::string lines(65536 - 16, '\n');
  for (size_t shift = 0; shift < 24; ++shift) {
    std::string spaces(shift, ' ');
    std::string expected = "line " + std::to_string(lines.size() + 1) + ", column ";
    EXPECT_NE(messagesOf("[" + lines + spaces + "x]").find(expected + std::to_string(shift + 1)),
              std::string::npos)
        << shift;
    EXPECT_NE(messagesOf("[{\"k\":" + lines + spaces + "12x}]")
                  .find(expected + std::to_string(shift + 3) + ": "),
              std::string::npos)
        << shift;
  }
}

// The main source's resolved wide path, as the run gives it.
std::u16string resolved(const std::string& name) {
  std::u16string wide(name.size() + 1, u'\0');
  oemToWide(name.c_str(), wide.data(), wide.size());
  std::u16string path(kWorkBufferChars, u'\0');
  size_t length = resolveFullPath(wide.c_str(), path.data(), kWorkBufferBytes);
  path.resize(length);
  return path;
}

std::string jsonEntry(const std::string& directory, const std::string& file,
                      const std::string& flag) {
  return "{\"directory\": \"" + directory + "\", \"file\": \"" + file +
         "\", \"arguments\": [\"cc\", \"" + flag + "\", \"" + file + "\"]}";
}

class FindCompileEntry : public testing::Test {
 protected:
  void SetUp() override {
    source = tree.write("src/a.c", "int a;\n");
    tree.write("other/b.c", "int b;\n");
    tree.write("copy/a.c", "int a;\n");
    ASSERT_EQ(symlink((tree.path() + "/src").c_str(), (tree.path() + "/linked").c_str()), 0);
    ASSERT_EQ(symlink("../src/a.c", (tree.path() + "/other/a.c").c_str()), 0);
  }

  // Searches the database made of `entries`, one per line.
  int find(const std::vector<std::string>& entries, uint64_t choice, CompileEntry* entry) {
    std::string text = "[\n";
    for (size_t at = 0; at < entries.size(); ++at) {
      text += entries[at] + (at + 1 < entries.size() ? ",\n" : "\n");
    }
    database = tree.write("compile_commands.json", text + "]\n");
    std::u16string path = resolved(source);
    testing::internal::CaptureStderr();
    int found = findCompileEntry(database.c_str(), path.c_str(), "src/a.c", choice, entry);
    messages = testing::internal::GetCapturedStderr();
    // The entry's block lives until the process exits, as in the tool.
    static auto* picked = new std::vector<CompileEntry>;
    picked->push_back(*entry);
    return found;
  }

  ScratchDirectory tree;
  std::string source;
  std::string database;
  std::string messages;
};

TEST_F(FindCompileEntry, OtherSpellingsAndLinksNameTheSameFile) {
  const std::string& root = tree.path();
  std::vector<std::string> entries = {
      jsonEntry(root + "/other", "b.c", "-DB"),
      jsonEntry(root + "/other", "A.C", "-DCASE"),
      jsonEntry(root + "/copy", "a.c", "-DCOPY"),
      jsonEntry(root + "/build", "../src/../src/a.c", "-DSPELLED"),
      jsonEntry("/", root + "/linked/a.c", "-DDIRECTORY_LINK"),
      jsonEntry(root + "/other", "a.c", "-DFILE_LINK"),
      jsonEntry(root + "/missing", "a.c", "-DMISSING"),
  };
  const char* flags[] = {"-DSPELLED", "-DDIRECTORY_LINK", "-DFILE_LINK"};
  uint64_t lines[] = {5, 6, 7};
  for (uint64_t choice = 1; choice <= 3; ++choice) {
    CompileEntry entry = {};
    ASSERT_EQ(find(entries, choice, &entry), 1) << messages;
    EXPECT_EQ(messages, "");
    ASSERT_EQ(entry.argumentCount, 3u);
    EXPECT_STREQ(entry.arguments[1], flags[choice - 1]);
    EXPECT_EQ(entry.line, lines[choice - 1]);
    EXPECT_EQ(entry.number, lines[choice - 1] - 1);
    EXPECT_EQ(entry.command, nullptr);
  }
}

TEST_F(FindCompileEntry, TheFirstOfSeveralIsTakenWithAWarning) {
  const std::string& root = tree.path();
  std::vector<std::string> entries = {
      jsonEntry(root + "/other", "b.c", "-DB"),
      R"({"directory": ")" + root + R"(/src", "file": "a.c", "command": "cc -DFIRST a.c"})",
      jsonEntry(root, "linked/a.c", "-DSECOND"),
      jsonEntry(root + "/src", root + "/src/a.c", "-DTHIRD"),
  };
  CompileEntry entry = {};
  ASSERT_EQ(find(entries, 0, &entry), 1);
  EXPECT_EQ(messages, database +
                          ":3: warning: 3 entries compile 'src/a.c'; the first is used "
                          "(--compile-commands-entry N picks another)\n");
  // The texts outlive the reader's buffers.
  EXPECT_STREQ(entry.command, "cc -DFIRST a.c");
  EXPECT_EQ(entry.directory, root + "/src");
  EXPECT_STREQ(entry.file, "a.c");
  EXPECT_EQ(entry.arguments, nullptr);
  EXPECT_EQ(entry.line, 3u);

  EXPECT_EQ(find(entries, 4, &entry), 0);
  EXPECT_EQ(messages,
            "tuflat: --compile-commands-entry 4: only 3 entries of the compilation "
            "database '" +
                database + "' compile 'src/a.c'\n");
  EXPECT_EQ(find({entries[0], entries[1]}, 2, &entry), 0);
  EXPECT_EQ(messages,
            "tuflat: --compile-commands-entry 2: only 1 entry of the compilation "
            "database '" +
                database + "' compiles 'src/a.c'\n");
}

TEST_F(FindCompileEntry, NoEntryOrNoDatabase) {
  CompileEntry entry = {};
  EXPECT_EQ(find({jsonEntry(tree.path() + "/other", "b.c", "-DB")}, 0, &entry), 0);
  EXPECT_EQ(messages,
            "tuflat: no entry of the compilation database '" + database + "' compiles 'src/a.c'\n");
  EXPECT_EQ(find({}, 0, &entry), 0);
  EXPECT_EQ(messages,
            "tuflat: no entry of the compilation database '" + database + "' compiles 'src/a.c'\n");
  // The database's faults stop the search, even after a match.
  EXPECT_EQ(find({jsonEntry(tree.path() + "/src", "a.c", "-DA"), "3"}, 0, &entry), 0);
  EXPECT_NE(messages.find("entry 2 of the compilation database"), std::string::npos);
  std::string missing = tree.path() + "/none.json";
  std::u16string path = resolved(source);
  testing::internal::CaptureStderr();
  EXPECT_EQ(findCompileEntry(missing.c_str(), path.c_str(), "src/a.c", 0, &entry), 0);
  std::string expected = "tuflat: cannot open the compilation database '" + missing + "': ";
  EXPECT_EQ(testing::internal::GetCapturedStderr().substr(0, expected.size()), expected);
}

// What databasePath gives for `path`: "=" when the very same text.
std::string databasePathOf(const std::string& path) {
  const char* given = databasePath(path.c_str());
  if (given == path.c_str()) return "=";
  std::string joined = given;
  // A block the tool keeps until it exits.
  ::operator delete(const_cast<char*>(given));
  return joined;
}

TEST(DatabasePath, ADirectoryMeansItsCompileCommands) {
  ScratchDirectory tree;
  std::string file = tree.write("build/compile_commands.json", "[]");
  std::string build = tree.path() + "/build";
  std::string link = tree.path() + "/link";
  ASSERT_EQ(symlink(build.c_str(), link.c_str()), 0);
  EXPECT_EQ(databasePathOf(build), build + "/compile_commands.json");
  EXPECT_EQ(databasePathOf(build + "/"), build + "/compile_commands.json");
  EXPECT_EQ(databasePathOf(link), link + "/compile_commands.json");
  EXPECT_EQ(databasePathOf(file), "=");
  EXPECT_EQ(databasePathOf(tree.path() + "/missing"), "=");
}

}  // namespace
