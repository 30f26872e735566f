// What a compile command's options say about preprocessing: directories in
// search order, definitions, forced includes, and the warnings.
#include "../driver/compile_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"

namespace {

using Texts = std::vector<std::string>;

std::string narrow(const char16_t* text) {
  std::string result;
  for (; *text != 0; ++text) result.push_back(static_cast<char>(*text));
  return result;
}

Texts narrowAll(const TextEntry* entries, uint32_t count) {
  Texts texts;
  for (uint32_t at = 0; at < count; ++at) {
    texts.push_back(narrow(entries[at].text));
    EXPECT_EQ(entries[at].count, texts.back().size() + 1);
  }
  return texts;
}

struct ReadOptions {
  int status;
  Texts directories;
  uint32_t quoteOnlyCount;
  Texts definitions;
  Texts forcedNames;
  Texts forcedPaths;
  std::string said;
};

class CompileOptionsRead : public ::testing::Test {
 protected:
  // The options of an entry with `command`, or with `arguments` when given.
  ReadOptions read(const std::string& command, std::vector<const char*> arguments = {}) {
    CompileEntry entry = {dir.path().c_str(), "a.c", nullptr, nullptr, 0, 12, 40};
    if (arguments.empty()) {
      entry.command = command.c_str();
    } else {
      entry.arguments = arguments.data();
      entry.argumentCount = static_cast<uint32_t>(arguments.size());
    }
    CompileOptions options;
    testing::internal::CaptureStderr();
    ReadOptions read;
    read.status = readCompileOptions(entry, "db.json", &options);
    read.said = testing::internal::GetCapturedStderr();
    if (read.status == 0) return read;
    read.directories = narrowAll(options.directories, options.directoryCount);
    read.quoteOnlyCount = options.quoteOnlyCount;
    read.definitions = narrowAll(options.definitions, options.definitionCount);
    read.forcedNames = Texts(options.forcedNames, options.forcedNames + options.forcedCount);
    read.forcedPaths = narrowAll(options.forcedPaths, options.forcedCount);
    freeCompileOptions(&options);
    return read;
  }

  // The resolved path of `relative` (with `\`) in the entry's directory.
  std::string in(const std::string& relative) const { return dir.shown() + "\\" + relative; }

  ScratchDirectory dir;
};

TEST_F(CompileOptionsRead, DirectoriesInSearchOrderWhateverTheSpelling) {
  ReadOptions read = this->read(
      "gcc -c a.c -Ib -iquote q1 -isystem s1 -I c -idirafter z1 -iquoteq2 -isystems2 "
      "-idirafterz2 -I/abs -isystem-after z3 -I sub/../d -o a.o");
  EXPECT_EQ(read.said, "");
  EXPECT_EQ(read.directories, (Texts{in("q1"), in("q2"), in("b"), in("c"), "\\\\?\\Z:\\abs",
                                     in("d"), in("s1"), in("s2"), in("z1"), in("z2"), in("z3")}));
  EXPECT_EQ(read.quoteOnlyCount, 2u);
}

TEST_F(CompileOptionsRead, ADirectoryMarkedWithEqualsOrSysrootIsTakenUnderTheSysroot) {
  EXPECT_EQ(read("gcc -I=/inc -isystem $SYSROOT/sys --sysroot=/sr -iquote =/q").directories,
            (Texts{"\\\\?\\Z:\\sr\\q", "\\\\?\\Z:\\sr\\inc", "\\\\?\\Z:\\sr\\sys"}));
  // -isysroot wins for headers, given before or after.
  EXPECT_EQ(read("gcc -I=/a -isysroot /hs --sysroot /sr").directories, Texts{"\\\\?\\Z:\\hs\\a"});
  EXPECT_EQ(read("gcc --sysroot=sr -I=/inc -I/x").directories,
            (Texts{in("sr\\inc"), "\\\\?\\Z:\\x"}));
  EXPECT_EQ(read("gcc -I=/x").directories, Texts{"\\\\?\\Z:\\x"});
}

TEST_F(CompileOptionsRead, DefinitionsAsCompilersTakeThem) {
  EXPECT_EQ(read("gcc -DA -D B -DC=2 '-DF(x)=x' -DN= '-DS=a b' -DE=x=y").definitions,
            (Texts{"#define A 1", "#define B 1", "#define C 2", "#define F(x) x", "#define N ",
                   "#define S a b", "#define E x=y"}));
  // -U removes every earlier definition; only a name none set is undefined,
  // first, so that later definitions of it still hold.
  EXPECT_EQ(read("gcc -UX -DY -UY -DZ=1 -DZ=2 -U Z -DX=3 -UW -DF(a)=a -UF -DG").definitions,
            (Texts{"#undef X", "#undef W", "#define X 3", "#define G 1"}));
}

TEST_F(CompileOptionsRead, ClSpellingsOnlyForClCommands) {
  for (const char* name : {"f.h", "g.h", "h.h"}) dir.write(name, "");
  ReadOptions read = this->read(
      R"(C:\VS\cl.exe /Ia -Ib /I c /external:I e -external:I e2 /imsvc m /DX /D Y=2 -DZ -D W )"
      R"(/UX -U V /FIf.h -FI g.h /FI h.h /c a.c /Fo /DK /link /DEBUG /Iafter)");
  EXPECT_EQ(read.said, "");
  EXPECT_EQ(read.directories, (Texts{in("a"), in("b"), in("c"), in("e"), in("e2"), in("m")}));
  EXPECT_EQ(read.definitions,
            (Texts{"#undef V", "#define Y 2", "#define Z 1", "#define W 1", "#define K 1"}));
  EXPECT_EQ(read.forcedNames, (Texts{"f.h", "g.h", "h.h"}));
  EXPECT_EQ(read.forcedPaths, (Texts{in("f.h"), in("g.h"), in("h.h")}));
  // cl's NAME#VALUE is NAME=VALUE; a later `#` is the value's.
  read = this->read("", {"ccache", "clang-cl", "/DX", "/DN#2", "/DS=a#b", "-FI", "f.h", "/Iinc"});
  EXPECT_EQ(read.definitions, (Texts{"#define X 1", "#define N 2", "#define S a#b"}));
  EXPECT_EQ(read.forcedNames, Texts{"f.h"});
  EXPECT_EQ(read.directories, Texts{in("inc")});
  // A path that begins with /U or /I is no option for GCC.
  read = this->read("/Users/me/gcc /Users/me/a.c /Iinc /DX -c");
  EXPECT_EQ(read.definitions, Texts{});
  EXPECT_EQ(read.directories, Texts{});
}

TEST_F(CompileOptionsRead, ForcedIncludesFirstInTheEntrysDirectoryThenAlongTheDirectories) {
  for (const char* name : {"f.h", "inc/f.h", "inc/g.h", "q/h.h", "inc/i.h", "i.h/x"}) {
    dir.write(name, "");
  }
  std::string absolute = dir.path() + "/inc/g.h";
  ReadOptions read = this->read("gcc -include f.h -includeg.h -include h.h -include i.h -include " +
                                absolute + " -iquote q -Iinc");
  EXPECT_EQ(read.said, "");
  EXPECT_EQ(read.forcedNames, (Texts{"f.h", "g.h", "h.h", "i.h", absolute}));
  EXPECT_EQ(read.forcedPaths,
            (Texts{in("f.h"), in("inc\\g.h"), in("q\\h.h"), in("inc\\i.h"), in("inc\\g.h")}));
  read = this->read("gcc -Iinc -include f.h -include nowhere.h");
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.said,
            "tuflat: the forced include 'nowhere.h' of entry 12 of 'db.json' (line 40) is found "
            "neither in the entry's directory nor in its include directories\n");
  // An absolute name is taken as it stands, never along the directories.
  EXPECT_EQ(this->read("gcc -Iinc -include /g.h").status, 0);
}

TEST_F(CompileOptionsRead, ArgumentsNotFollowedAreWarnedAboutOnce) {
  ReadOptions read = this->read(
      "gcc -imacros m.h -Wp,-DX -Wp,-MD,dep.d,-MT,t -Xpreprocessor -DY -nostdinc -nostdinc++ "
      "-undef -I");
  std::string warning = "db.json:40: warning: the argument '";
  std::string rest = "' changes preprocessing and is not followed\n";
  EXPECT_EQ(read.said, warning + "-imacros m.h" + rest + warning + "-Wp,-DX" + rest + warning +
                           "-Xpreprocessor -DY" + rest + warning + "-nostdinc" + rest + warning +
                           "-nostdinc++" + rest + warning + "-undef" + rest +
                           "db.json:40: warning: '-I' ends the command without its value and is "
                           "ignored\n");
  EXPECT_EQ(read.definitions, Texts{});
  EXPECT_EQ(read.directories, Texts{});
  EXPECT_EQ(this->read("cl /u /X /D").said,
            warning + "/u" + rest + warning + "/X" + rest +
                "db.json:40: warning: '/D' ends the command without its value and is ignored\n");
}

TEST_F(CompileOptionsRead, ValuesTakenByOptionsAreNeverReadAsOptions) {
  ReadOptions read = this->read(
      "gcc -o -DA -MF -DB -MT -DC -MQ -DD -x -DE -Xclang -O2 -Xlinker -DG -Xassembler -DH "
      "-arch -DI -target -DJ -aux-info -DK -dumpbase -DL -dumpdir -DM -L -DN -T -DO -u -DP "
      "-z -DQ -e -DR -iprefix -DS -I -DT -o");
  EXPECT_EQ(read.said, "");
  EXPECT_EQ(read.definitions, Texts{});
  EXPECT_EQ(read.directories, Texts{in("-DT")});
}

TEST_F(CompileOptionsRead, AFrontEndOptionThatBearsOnPreprocessingIsWarnedAbout) {
  // As CMake writes a precompiled header for Clang.
  ReadOptions read = this->read("clang -Xclang -include -Xclang cmake_pch.h -c a.c");
  EXPECT_EQ(read.status, 1);
  EXPECT_EQ(read.said,
            "db.json:40: warning: the argument '-Xclang -include' changes preprocessing and is "
            "not followed\n");
  EXPECT_EQ(read.forcedNames, Texts{});
}

}  // namespace
