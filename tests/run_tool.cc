#include "run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Reads both pipes to their ends without letting either fill up.
void drain(int outPipe, int errPipe, std::string* out, std::string* err) {
  pollfd pipes[2] = {{outPipe, POLLIN, 0}, {errPipe, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open = 2;
  char chunk[1 << 16];
  while (open > 0) {
    if (poll(pipes, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (pipes[i].fd < 0 || pipes[i].revents == 0) continue;
      ssize_t got = read(pipes[i].fd, chunk, sizeof chunk);
      if (got > 0) {
        sinks[i]->append(chunk, static_cast<size_t>(got));
      } else {
        close(pipes[i].fd);
        pipes[i].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& arguments, const std::string& directory) {
  std::vector<std::string> words = commandWords();
  bool consoleEndsLinesWithCrLf = isWindowsProgram(words);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    int input = open("/dev/null", O_RDONLY);
    dup2(input, 0);
    if (chdir(directory.c_str()) != 0) _exit(126);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  ToolRun run{-1, "", ""};
  drain(outPipe[0], errPipe[0], &run.out, &run.err);
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (consoleEndsLinesWithCrLf) {
    run.out = withLfLineEnds(run.out);
    run.err = withLfLineEnds(run.err);
  }
  return run;
}
