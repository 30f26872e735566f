#include "bounds.h"

#ifdef TUFLAT_REDUCED_BOUNDS

#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* kPathNames[] = {"cache_evicted",
                                      "cache_passed_over",
                                      "cache_full",
                                      "cache_file_too_large",
                                      "cache_path_refused",
                                      "record_outgrown",
                                      "memo_refused",
                                      "memo_lines_refused",
                                      "candidates_refused",
                                      "listing_refused",
                                      "listing_too_many_names",
                                      "listing_names_refused",
                                      "output_full",
                                      "output_spans_full",
                                      "output_direct_span",
                                      "output_block_not_deferred"};
constexpr int kPaths = static_cast<int>(BoundPath::Count);
static_assert(sizeof kPathNames / sizeof kPathNames[0] == kPaths, "a name for every path");

uint64_t counts[kPaths];

}  // namespace

void countBoundPath(BoundPath path) {
  ++counts[static_cast<int>(path)];
}

void saveBoundCounts() {
  const char* name = std::getenv("TUFLAT_BOUND_COUNTS");
  FILE* file = name != nullptr ? std::fopen(name, "a") : nullptr;
  if (file == nullptr) return;
  for (int at = 0; at < kPaths; ++at) {
    std::fprintf(file, "%s=%llu\n", kPathNames[at], static_cast<unsigned long long>(counts[at]));
  }
  std::fclose(file);
}

#endif
