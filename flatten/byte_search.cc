#include "byte_search.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Non-zero when some byte of `word` is 0: then the lowest flagged byte is
// the lowest 0 byte, though bytes above it may be flagged falsely.
inline uint64_t zeroByteIn(uint64_t word) {
  return (word - kOnes) & ~word & kHighs;
}

inline uint64_t wordAt(const char* bytes) {
  uint64_t word;
  memcpy(&word, bytes, sizeof word);
  return word;
}

}  // namespace

uint64_t findByte(const char* bytes, uint64_t from, uint64_t count, char wanted) {
  const void* found = memchr(bytes + from, wanted, count - from);
  return found != nullptr ? static_cast<uint64_t>(static_cast<const char*>(found) - bytes) : count;
}

uint64_t findEitherByte(const char* bytes, uint64_t from, uint64_t count, char first, char second) {
#if defined(__SSE2__)
  // Sixteen bytes at a time where the processor has the instructions for it.
  const __m128i firstInBlock = _mm_set1_epi8(first);
  const __m128i secondInBlock = _mm_set1_epi8(second);
  for (; count - from >= sizeof(__m128i); from += sizeof(__m128i)) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
    int found = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(block, firstInBlock), _mm_cmpeq_epi8(block, secondInBlock)));
    if (found != 0)
      return from + static_cast<uint64_t>(__builtin_ctz(static_cast<unsigned>(found)));
  }
#endif
  const uint64_t firstInEvery = kOnes * static_cast<unsigned char>(first);
  const uint64_t secondInEvery = kOnes * static_cast<unsigned char>(second);
  for (; count - from >= sizeof(uint64_t); from += sizeof(uint64_t)) {
    uint64_t word = wordAt(bytes + from);
    uint64_t found = zeroByteIn(word ^ firstInEvery) | zeroByteIn(word ^ secondInEvery);
    if (found != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      // The lowest flagged byte is always a true one, and it comes first.
      return from + static_cast<uint64_t>(__builtin_ctzll(found)) / 8;
#else
      break;
#endif
    }
  }
  while (from < count && bytes[from] != first && bytes[from] != second) ++from;
  return from;
}

uint64_t findAnyByte(const char* bytes, uint64_t from, uint64_t count, const char* set,
                     size_t setLength) {
#if defined(__SSE2__)
  __m128i wanted[8];
  for (size_t at = 0; at < setLength; ++at) wanted[at] = _mm_set1_epi8(set[at]);
  for (; count - from >= sizeof(__m128i); from += sizeof(__m128i)) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
    __m128i matches = _mm_cmpeq_epi8(block, wanted[0]);
    for (size_t at = 1; at < setLength; ++at) {
      matches = _mm_or_si128(matches, _mm_cmpeq_epi8(block, wanted[at]));
    }
    int found = _mm_movemask_epi8(matches);
    if (found != 0)
      return from + static_cast<uint64_t>(__builtin_ctz(static_cast<unsigned>(found)));
  }
#endif
  for (; from < count; ++from) {
    if (memchr(set, bytes[from], setLength) != nullptr) return from;
  }
  return count;
}
