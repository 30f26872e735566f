// Include-once traps: each include below is one a naive include-once mode
// gets wrong.
// Sorting includes would merge the repeated ones, so:
// clang-format off

// A #pragma once file first met in a branch the compiler skips, here and
// through another file, then unconditionally: it must still arrive.
#if 0
#include "once.h"
#endif
// Its value tells whether line numbers survive an include in a skipped block.
int lineAfterSkippedInclude = __LINE__;
#include "feature.h"
#include "once.h"
// Met again at depth 0 under another spelling: the compiler reads it no more.
#include "sub/../once.h"

// A #pragma once file first read in a branch that is taken, then again.
#ifdef __cplusplus
#include "taken.h"
#endif
#include "taken.h"

// A guarded file whose guard is removed is read again by the compiler.
#define GUARDED_NAME guarded_first
#include "guarded.h"
#undef GUARDED_H
#undef GUARDED_NAME
#define GUARDED_NAME guarded_second
#include "guarded.h"
#include "guarded.h"

// A guard written as #if !defined, twice.
#include "defined_guard.h"
#include "defined_guard.h"

// The same guard, without parentheses.
#include "bare_guard.h"
#include "bare_guard.h"

// Only a compiler's directive counts: spaced out, or not in a comment.
#include "spaced_once.h"
#include "spaced_once.h"
#define COMMENT_NAME comment_first
#include "comment_once.h"
#undef COMMENT_NAME
#define COMMENT_NAME comment_second
#include "comment_once.h"

// Not guards: an #else the compiler reads at the second include, and a
// #define of another name.
#include "else.h"
#include "else.h"
#define FAKE_NAME fake_first
#include "fake_guard.h"
#undef FAKE_NAME
#define FAKE_NAME fake_second
#include "fake_guard.h"

// Text after the guard's #endif: not include-once, so read every time.
#define OPEN_NAME open_first
#include "open.h"
#undef OPEN_NAME
#define OPEN_NAME open_second
#include "open.h"

int useAll() {
  return onceValue() + takenValue() + guarded_first + guarded_second + definedGuard() +
         bareGuard() + spacedOnce() + comment_first + comment_second + else_first + else_again +
         fake_first + fake_second + open_first + open_second;
}
