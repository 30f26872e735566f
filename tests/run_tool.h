// Runs the built program the way a user does. The command comes from one
// place, the environment variable TUFLAT_COMMAND (words separated by spaces,
// such as a path to the program, or `wine` and a path to the Windows build).
// A program whose name ends in `.exe` is a Windows console program: its
// console ends lines with CR LF, which the tests read as LF.
#ifndef TUFLAT_TESTS_RUN_TOOL_H
#define TUFLAT_TESTS_RUN_TOOL_H

#include <functional>
#include <string>
#include <vector>

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

// Where the program's standard output goes.
enum class StandardOutput { File, Closed, FullDevice, PipeWithoutReader };

// Where the program's standard input comes from: the null device, or
// RunSetup::inputText from a file or through a pipe.
enum class StandardInput { Null, File, Pipe };

struct RunSetup {
  StandardOutput output = StandardOutput::File;
  StandardInput input = StandardInput::Null;
  std::string inputText;
  // Standard output as the program wrote it, CR LF line ends and all.
  bool exactOutput = false;
  // The largest file the program may write, in bytes; 0 for no limit.
  unsigned long fileSizeLimit = 0;
  // When the tests run as root, the program runs as the user nobody, so that
  // files without write permission are refused to it as to any user.
  bool unprivileged = false;
  // Called with the program's process id while it runs; the run is waited
  // for once it returns.
  std::function<void(int)> whileRunning;
};

ToolRun runTool(const std::vector<std::string>& arguments, const std::string& directory,
                const RunSetup& setup = {});
// True when the command runs a Windows program.
bool runsWindowsProgram();
// `path` as the program under test spells it: `\` for `/` in a Windows program.
std::string programSpelling(std::string path);

#endif
