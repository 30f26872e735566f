// The fuzz targets' assertion: a property that does not hold stops the run
// with the condition, so that libFuzzer keeps the input as a crash.
#ifndef TUFLAT_TESTS_FUZZ_CHECK_H
#define TUFLAT_TESTS_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzzCheckFailed(const char* condition, const char* file, int line) {
  fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
  abort();
}

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : fuzzCheckFailed(#condition, __FILE__, __LINE__))

#endif
