// Include-once traps: each include below is one a naive include-once mode
// gets wrong.

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

// Text after the guard's #endif: not include-once, so read every time.
#define OPEN_NAME open_first
#include "open.h"
#undef OPEN_NAME
#define OPEN_NAME open_second
#include "open.h"

int useAll() {
  return onceValue() + takenValue() + guarded_first + guarded_second + definedGuard() +
         open_first + open_second;
}
