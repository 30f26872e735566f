#include "output.h"

#include <cstring>

#include "diagnostics.h"
#include "replay.h"
#include "run_state.h"

namespace {

// Spans at least this long skip the gathering buffer.
constexpr uint64_t kDirectSpan = 1 << 16;
constexpr uint64_t kGatherBytes = 1 << 18;

// gathered[0, gatheredCount) is written text not yet sent; gatheredCount <= kGatherBytes.
char gathered[kGatherBytes];
uint64_t gatheredCount = 0;

void send(const void* bytes, uint64_t count) {
  uint64_t put = OutputFile.write(bytes, count);
  if (put < count) noteWriteFailure(GetLastError(), count - put);
}

}  // namespace

void flushOutput() {
  if (gatheredCount == 0) return;
  send(gathered, gatheredCount);
  gatheredCount = 0;
}

void writeOutput(const void* bytes, uint64_t count) {
  if (ActiveRecorder != nullptr) recordWrite(bytes, count);
  if (count >= kDirectSpan) {
    flushOutput();
    send(bytes, count);
    return;
  }
  if (count > kGatherBytes - gatheredCount) flushOutput();
  memcpy(gathered + gatheredCount, bytes, count);
  gatheredCount += count;
}

void writeOutputText(const char* text) {
  writeOutput(text, strlen(text));
}
