// Every memory bound of a run is written TUFLAT_BOUND(default, reduced). The
// reduced-bounds build (TUFLAT_REDUCED_BOUNDS defined; the tests build it as
// tuflat_reduced_bounds) takes the second: bounds so small that small trees
// reach them, where the default ones never do. Its output must be the
// default build's, byte for byte.
//
// That build also counts every path a run takes where a bound is reached,
// and appends the counts to the file that TUFLAT_BOUND_COUNTS names, one
// `name=count` line each, so that its tests can show that every path ran.
// In the default build the counting is no code at all.
#ifndef TUFLAT_BASE_BOUNDS_H
#define TUFLAT_BASE_BOUNDS_H

#include <cstdint>

#ifdef TUFLAT_REDUCED_BOUNDS
#define TUFLAT_BOUND(normal, reduced) (reduced)
#else
#define TUFLAT_BOUND(normal, reduced) (normal)
#endif

enum class BoundPath : uint8_t {
  // The file cache: an unused kept file is evicted, or passed over once as
  // used again; nothing can be evicted to make room; a file too large to
  // keep; a path that cannot be remembered.
  CacheEvicted,
  CachePassedOver,
  CacheFull,
  CacheFileTooLarge,
  CachePathRefused,
  // A scan's record outgrows its allowance.
  RecordOutgrown,
  // A search that cannot be remembered, or whose lines cannot be kept.
  MemoRefused,
  MemoLinesRefused,
  // A name whose candidates cannot be remembered.
  CandidatesRefused,
  // A directory that cannot be remembered; a listing with too many names,
  // or whose names do not fit.
  ListingRefused,
  ListingTooManyNames,
  ListingNamesRefused,
  // The output: waiting bytes go out to make room, or are gathered because
  // the spans are all taken; a span long enough to go out on its own; a
  // freed block whose spans are gathered because no more may wait.
  OutputFull,
  OutputSpansFull,
  OutputDirectSpan,
  OutputBlockNotDeferred,
  Count
};

#ifdef TUFLAT_REDUCED_BOUNDS
void countBoundPath(BoundPath path);
// Appends the run's counts to the file TUFLAT_BOUND_COUNTS names, if any.
void saveBoundCounts();
#else
inline void countBoundPath(BoundPath) {}
inline void saveBoundCounts() {}
#endif

#endif
