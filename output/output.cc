#include "output.h"

#include <cstring>

#include "../base/bounds.h"
#include "../platform/os.h"
#include "diagnostics.h"
#include "run_state.h"

namespace {

// Spans at least this long are sent at once, on their own, after what waits.
constexpr uint64_t kDirectSpan = TUFLAT_BOUND(1 << 16, 64);
constexpr uint64_t kWaitingBytes = TUFLAT_BOUND(1 << 18, 256);
constexpr uint32_t kWaitingSpans = TUFLAT_BOUND(1024, 4);
// After what waits has gone out, a span shorter than kDirectSpan fits.
static_assert(kDirectSpan <= kWaitingBytes, "a span that waits fits the buffer");

// spans[0, spanCount) wait to be sent, in order, waitingBytes in all, at most
// kWaitingBytes. Each lies in lasting bytes or in copies[0, copiedCount), so
// copiedCount <= waitingBytes. `spare` is where settling gathers them.
OutputSpan spans[kWaitingSpans];
uint32_t spanCount = 0;
uint64_t waitingBytes = 0;
char buffers[2][kWaitingBytes];
char* copies = buffers[0];
char* spare = buffers[1];
uint64_t copiedCount = 0;

// Blocks given back while spans in them waited: deferred[0, deferredCount),
// deferredBytes in all, freed once nothing waits on them.
constexpr uint32_t kDeferredBlocks = TUFLAT_BOUND(64, 2);
constexpr uint64_t kDeferredBytes = TUFLAT_BOUND(16ull << 20, 512);
void* deferred[kDeferredBlocks];
uint32_t deferredCount = 0;
uint64_t deferredBytes = 0;

void freeDeferred() {
  for (uint32_t at = 0; at < deferredCount; ++at) ::operator delete(deferred[at]);
  deferredCount = 0;
  deferredBytes = 0;
}

void send() {
  uint64_t put = writeSpans(OutputFile.handle, spans, spanCount);
  if (put < waitingBytes) noteWriteFailure(GetLastError(), waitingBytes - put);
  spanCount = 0;
  waitingBytes = 0;
  copiedCount = 0;
  freeDeferred();
}

void addSpan(const char* bytes, uint64_t count) {
  OutputSpan& last = spans[spanCount - (spanCount > 0)];
  if (spanCount > 0 && static_cast<const char*>(last.bytes) + last.count == bytes) {
    last.count += count;
  } else {
    spans[spanCount++] = {bytes, count};
  }
  waitingBytes += count;
}

void copyOut(const void* bytes, uint64_t count) {
  memcpy(copies + copiedCount, bytes, count);
  addSpan(copies + copiedCount, count);
  copiedCount += count;
}

// Makes room for `count` more bytes in one more span: what is waiting goes
// out when the bytes would not fit, exactly as if every byte were copied.
// Returns false when the bytes are to go out at once.
bool makeRoom(uint64_t count) {
  if (count >= kDirectSpan) {
    countBoundPath(BoundPath::OutputDirectSpan);
    return false;
  }
  if (count > kWaitingBytes - waitingBytes) {
    countBoundPath(BoundPath::OutputFull);
    flushOutput();
  }
  if (spanCount == kWaitingSpans) {
    countBoundPath(BoundPath::OutputSpansFull);
    settleOutput();
  }
  return true;
}

void sendAtOnce(const void* bytes, uint64_t count) {
  flushOutput();
  spans[0] = {bytes, count};
  spanCount = 1;
  waitingBytes = count;
  send();
}

}  // namespace

OutputWriteHook WriteHook = nullptr;

void releaseOutputBlock(void* block, uint64_t size) {
  // While lasting bytes wait, spans may lie in it: it goes once they have
  // been sent, unless too much memory would wait with it.
  if (copiedCount < waitingBytes && deferredCount < kDeferredBlocks &&
      size <= kDeferredBytes - deferredBytes) {
    deferred[deferredCount++] = block;
    deferredBytes += size;
    return;
  }
  if (copiedCount < waitingBytes) countBoundPath(BoundPath::OutputBlockNotDeferred);
  settleOutput();
  ::operator delete(block);
}

void settleOutput() {
  if (copiedCount < waitingBytes) {
    uint64_t gathered = 0;
    for (uint32_t at = 0; at < spanCount; ++at) {
      memcpy(spare + gathered, spans[at].bytes, spans[at].count);
      gathered += spans[at].count;
    }
    char* settled = spare;
    spare = copies;
    copies = settled;
    spans[0] = {copies, gathered};
    spanCount = 1;
    copiedCount = gathered;
  }
  freeDeferred();
}

void flushOutput() {
  if (spanCount > 0) send();
}

void writeOutput(const void* bytes, uint64_t count) {
  if (WriteHook != nullptr) WriteHook(bytes, count);
  if (makeRoom(count)) {
    copyOut(bytes, count);
  } else {
    sendAtOnce(bytes, count);
  }
}

void writeLastingOutput(const void* bytes, uint64_t count) {
  if (WriteHook != nullptr) WriteHook(bytes, count);
  if (!makeRoom(count)) {
    sendAtOnce(bytes, count);
  } else if (count > 0) {
    addSpan(static_cast<const char*>(bytes), count);
  }
}

void writeOutputText(const char* text) {
  writeOutput(text, strlen(text));
}

void writeLastingText(const char* text) {
  writeLastingOutput(text, strlen(text));
}
