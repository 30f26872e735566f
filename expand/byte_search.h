// Searches of a file's bytes for the few bytes that can change the scan's
// state, many bytes at a time.
#ifndef TUFLAT_EXPAND_BYTE_SEARCH_H
#define TUFLAT_EXPAND_BYTE_SEARCH_H

#include <cstddef>
#include <cstdint>

// The offset of the first `wanted` byte in bytes[from, count), or count.
uint64_t findByte(const char* bytes, uint64_t from, uint64_t count, char wanted);

// The offset of the first `first` or `second` byte in bytes[from, count), or
// count.
uint64_t findEitherByte(const char* bytes, uint64_t from, uint64_t count, char first, char second);

// The offset of the first byte in bytes[from, count) that is one of
// set[0, setLength), setLength at most 8; count when there is none.
uint64_t findAnyByte(const char* bytes, uint64_t from, uint64_t count, const char* set,
                     size_t setLength);

// The offset of the first `single` byte in bytes[from, count), or of a
// `lead` byte before it that the next byte, within count, makes a pair with:
// `follow` or `other`. Count when there is neither. A `lead` not so followed
// is passed.
uint64_t findByteOrPair(const char* bytes, uint64_t from, uint64_t count, char single, char lead,
                        char follow, char other);

#endif
