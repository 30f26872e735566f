#include "byte_search.h"

#include <cstring>

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Non-zero when some byte of `word` is 0. It may flag more bytes than that,
// but only when one really is 0, so it never misses and never cries wolf.
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
  const uint64_t firstInEvery = kOnes * static_cast<unsigned char>(first);
  const uint64_t secondInEvery = kOnes * static_cast<unsigned char>(second);
  // Whole words up to the one that holds a wanted byte; that word, and a tail
  // shorter than a word, are searched byte by byte.
  while (count - from >= 2 * sizeof(uint64_t)) {
    uint64_t low = wordAt(bytes + from);
    uint64_t high = wordAt(bytes + from + sizeof(uint64_t));
    if ((zeroByteIn(low ^ firstInEvery) | zeroByteIn(low ^ secondInEvery) |
         zeroByteIn(high ^ firstInEvery) | zeroByteIn(high ^ secondInEvery)) != 0) {
      break;
    }
    from += 2 * sizeof(uint64_t);
  }
  while (from < count && bytes[from] != first && bytes[from] != second) ++from;
  return from;
}
