// Everything bound for the output file goes through here. Small pieces are
// gathered and long spans go out directly, so the file gets large writes
// whatever the shape of the text. A failed write is remembered, not retried.
#ifndef TUFLAT_EXPAND_OUTPUT_H
#define TUFLAT_EXPAND_OUTPUT_H

#include <cstdint>

void writeOutput(const void* bytes, uint64_t count);
void writeOutputText(const char* text);
// Sends whatever is gathered to OutputFile.
void flushOutput();

#endif
