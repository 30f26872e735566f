// Everything bound for the output file goes through here. Small pieces are
// gathered and long spans go out directly, so the file gets large writes
// whatever the shape of the text. A failed write is remembered, not retried.
#ifndef TUFLAT_OUTPUT_OUTPUT_H
#define TUFLAT_OUTPUT_OUTPUT_H

#include <cstdint>

// While set, sees every write, before it is sent: how a scan being recorded
// learns what it writes. Null when nothing records.
using OutputWriteHook = void (*)(const void* bytes, uint64_t count);
extern OutputWriteHook WriteHook;

// Copies the bytes: they may be gone when the call returns.
void writeOutput(const void* bytes, uint64_t count);
void writeOutputText(const char* text);

// Takes the bytes where they are, to be sent with the others: they must stay
// unchanged until settleOutput or flushOutput is called. For a file's bytes,
// which are freed only after that, and for text that lasts.
void writeLastingOutput(const void* bytes, uint64_t count);
void writeLastingText(const char* text);

// Copies whatever is waiting to be sent from lasting bytes, so that they may
// be freed. What is sent, and when, does not change.
void settleOutput();

// Frees the heap block of a file's bytes, `size` long (operator delete),
// when nothing waiting to be sent lies in it; else once that has been sent,
// and at the latest when waiting blocks would hold too much memory.
void releaseOutputBlock(void* block, uint64_t size);

// Sends whatever is waiting to OutputFile.
void flushOutput();

#endif
