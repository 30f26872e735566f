// Searches of a file's bytes for the few bytes that can change the scan's
// state, many bytes at a time.
#ifndef TUFLAT_FLATTEN_BYTE_SEARCH_H
#define TUFLAT_FLATTEN_BYTE_SEARCH_H

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The offset of the first `wanted` byte in bytes[from, count), or count.
uint64_t findByte(const char* bytes, uint64_t from, uint64_t count, char wanted);

// The offset of the first `first` or `second` byte in bytes[from, count), or
// count.
uint64_t findEitherByte(const char* bytes, uint64_t from, uint64_t count, char first, char second);

// The offset of the first byte in bytes[from, count) that is one of
// set[0, setLength), setLength at most 8; count when there is none.
uint64_t findAnyByte(const char* bytes, uint64_t from, uint64_t count, const char* set,
                     size_t setLength);

// The offset of the first `single` or `otherSingle` byte in bytes[from,
// count), or of a `lead` byte before it that the next byte, within count,
// makes a pair with: `follow` or `other`. Count when there is neither. A
// `lead` not so followed is passed. Inline: the scan calls it for nearly
// every line.
inline uint64_t findByteOrPair(const char* bytes, uint64_t from, uint64_t count, char single,
                               char otherSingle, char lead, char follow, char other) {
#if defined(__SSE2__)
  // Each block is compared with itself one byte on, so that a pair is found
  // where it starts; the block's last byte needs the byte after it.
  const __m128i singles = _mm_set1_epi8(single);
  const __m128i otherSingles = _mm_set1_epi8(otherSingle);
  const __m128i leads = _mm_set1_epi8(lead);
  const __m128i follows = _mm_set1_epi8(follow);
  const __m128i others = _mm_set1_epi8(other);
  // Computed once, not the distance to it at every block.
  uint64_t blocksEnd = count > sizeof(__m128i) ? count - sizeof(__m128i) : 0;
  for (; from < blocksEnd; from += sizeof(__m128i)) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
    __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from + 1));
    __m128i pairs =
        _mm_and_si128(_mm_cmpeq_epi8(block, leads),
                      _mm_or_si128(_mm_cmpeq_epi8(next, follows), _mm_cmpeq_epi8(next, others)));
    __m128i either =
        _mm_or_si128(_mm_cmpeq_epi8(block, singles), _mm_cmpeq_epi8(block, otherSingles));
    int found = _mm_movemask_epi8(_mm_or_si128(either, pairs));
    if (found != 0) {
      return from + static_cast<uint64_t>(__builtin_ctz(static_cast<unsigned>(found)));
    }
  }
#endif
  const char wanted[] = {lead, single, otherSingle};
  for (;;) {
    from = findAnyByte(bytes, from, count, wanted, sizeof wanted);
    if (from == count || bytes[from] == single || bytes[from] == otherSingle) return from;
    if (from + 1 < count && (bytes[from + 1] == follow || bytes[from + 1] == other)) return from;
    ++from;
  }
}

// `/` and `*` differ in these bits only; a byte that agrees with both in all
// the others is one of `*`, `+`, `.` and `/`.
constexpr char kCommentFollowBits = '/' ^ '*';

// The offset of the first byte in bytes[from, count) where a run of code may
// change the scan's state: a `#`, `%` or CR, or a `/` followed, within count,
// by `/`, `*`, `+` or `.`; count when there is none. Comparing the byte after
// a `/` in the bits where `/` and `*` agree finds the two that open a comment
// with one compare; the `+` and `.` it finds as well open nothing and only
// cost the scan a look.
inline uint64_t findCodeStop(const char* bytes, uint64_t from, uint64_t count) {
#if defined(__SSE2__)
  const __m128i hashes = _mm_set1_epi8('#');
  const __m128i percents = _mm_set1_epi8('%');
  const __m128i crs = _mm_set1_epi8('\r');
  const __m128i slashes = _mm_set1_epi8('/');
  const __m128i followBits = _mm_set1_epi8(kCommentFollowBits);
  uint64_t blocksEnd = count > sizeof(__m128i) ? count - sizeof(__m128i) : 0;
  for (; from < blocksEnd; from += sizeof(__m128i)) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
    __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from + 1));
    __m128i opens = _mm_and_si128(_mm_cmpeq_epi8(block, slashes),
                                  _mm_cmpeq_epi8(_mm_or_si128(next, followBits), slashes));
    __m128i singles =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, hashes), _mm_cmpeq_epi8(block, percents)),
                     _mm_cmpeq_epi8(block, crs));
    int found = _mm_movemask_epi8(_mm_or_si128(singles, opens));
    if (found != 0) {
      return from + static_cast<uint64_t>(__builtin_ctz(static_cast<unsigned>(found)));
    }
  }
#endif
  const char wanted[] = {'#', '%', '\r', '/'};
  for (;;) {
    from = findAnyByte(bytes, from, count, wanted, sizeof wanted);
    if (from == count || bytes[from] != '/') return from;
    if (from + 1 < count && (bytes[from + 1] | kCommentFollowBits) == '/') return from;
    ++from;
  }
}

#endif
