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

// A guard shared by two files: the second file's body, and the include in
// it, are never read, so stuff.h is first read at its own include.
#include "util_empty.h"
#include "util_stuff.h"
#include "stuff.h"

// A second copy of a #pragma once file, made by an #undef of the guard of
// the file it includes: that file is read again, and again at its own include
// once its guard is gone once more.
#ifdef __GNUC__
#include "reread_once.h"
#endif
#undef REREAD_GUARDED_H
#include "reread_once.h"
#undef REREAD_GUARDED_H
#include "reread_guarded.h"

// #pragma once under a condition that this compiler does not meet.
#include "msvc_once.h"
#include "msvc_once.h"

// A guard defined in advance to switch a header off, and one restored by
// pop_macro after the file defined it.
#define SWITCHED_OFF_H
#include "switched_off.h"
#include "switched.h"
#pragma push_macro("PUSHED_H")
#include "pushed.h"
#pragma pop_macro("PUSHED_H")
#include "pushed.h"

// A #pragma once whose comment runs on to the next line.
#include "tail_once.h"
#include "tail_once.h"

int useAll() {
  return onceValue() + takenValue() + guarded_first + guarded_second + definedGuard() +
         bareGuard() + spacedOnce() + comment_first + comment_second + else_first + else_again +
         fake_first + fake_second + open_first + open_second;
}
