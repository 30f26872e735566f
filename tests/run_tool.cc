#include "run_tool.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace {

std::vector<std::string> commandWords() {
  const char* command = getenv("TUFLAT_COMMAND");
  if (command == nullptr || *command == 0) throw std::runtime_error("TUFLAT_COMMAND is not set");
  std::vector<std::string> words;
  std::istringstream in(command);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool isWindowsProgram(const std::vector<std::string>& command) {
  for (const std::string& word : command) {
    if (word.size() > 4 && word.compare(word.size() - 4, 4, ".exe") == 0) return true;
  }
  return false;
}

std::string withLfLineEnds(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  return result;
}

// The whole of a file the child wrote to.
std::string contentsOf(FILE* file) {
  std::string text;
  rewind(file);
  char chunk[1 << 16];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
  fclose(file);
  return text;
}

}  // namespace

bool runsWindowsProgram() {
  return isWindowsProgram(commandWords());
}

std::string programSpelling(std::string path) {
  if (runsWindowsProgram()) {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
  return path;
}

ToolRun runTool(const std::vector<std::string>& arguments, const std::string& directory,
                const RunSetup& setup) {
  std::vector<std::string> words = commandWords();
  bool consoleEndsLinesWithCrLf = isWindowsProgram(words);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  // Files, not pipes: processes the program leaves behind (Wine's services)
  // may hold its standard output open long after it has exited.
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  if (out == nullptr || err == nullptr) throw std::runtime_error("tmpfile failed");
  // Made before the child exists and never read: the child's writes fail.
  int pipeEnds[2] = {-1, -1};
  if (setup.output == StandardOutput::PipeWithoutReader) {
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    close(pipeEnds[0]);
  }
  int inputPipe[2] = {-1, -1};
  FILE* inputFile = nullptr;
  if (setup.input == StandardInput::Pipe && pipe(inputPipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  if (setup.input == StandardInput::File) {
    inputFile = tmpfile();
    if (inputFile == nullptr) throw std::runtime_error("tmpfile failed");
    fwrite(setup.inputText.data(), 1, setup.inputText.size(), inputFile);
    fflush(inputFile);
    rewind(inputFile);
  }
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    // Standard input first, so that it cannot take the number of a closed
    // standard output.
    int input = inputPipe[0] >= 0      ? inputPipe[0]
                : inputFile != nullptr ? fileno(inputFile)
                                       : open("/dev/null", O_RDONLY);
    dup2(input, 0);
    if (input != 0) close(input);
    if (inputPipe[1] >= 0) close(inputPipe[1]);
    switch (setup.output) {
      case StandardOutput::File:
        dup2(fileno(out), 1);
        break;
      case StandardOutput::Closed:
        close(1);
        break;
      case StandardOutput::FullDevice:
        dup2(open("/dev/full", O_WRONLY), 1);
        break;
      case StandardOutput::PipeWithoutReader:
        dup2(pipeEnds[1], 1);
        break;
    }
    dup2(fileno(err), 2);
    // The program must cope with these itself, whatever its parent ignores.
    signal(SIGPIPE, SIG_DFL);
    signal(SIGXFSZ, SIG_DFL);
    if (setup.fileSizeLimit > 0) {
      struct rlimit limit = {setup.fileSizeLimit, setup.fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    constexpr uid_t kNobody = 65534;
    if (setup.unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      _exit(125);
    }
    if (chdir(directory.c_str()) != 0) _exit(126);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
  if (inputFile != nullptr) fclose(inputFile);
  if (inputPipe[0] >= 0) {
    close(inputPipe[0]);
    // Small enough for the pipe's buffer, so the write cannot wait on the child.
    if (write(inputPipe[1], setup.inputText.data(), setup.inputText.size()) < 0) {
      throw std::runtime_error("write to the input pipe failed");
    }
    close(inputPipe[1]);
  }
  if (setup.whileRunning) setup.whileRunning(child);
  int status = 0;
  waitpid(child, &status, 0);
  ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), contentsOf(out),
              contentsOf(err)};
  if (consoleEndsLinesWithCrLf) {
    if (!setup.exactOutput) run.out = withLfLineEnds(run.out);
    run.err = withLfLineEnds(run.err);
  }
  return run;
}
