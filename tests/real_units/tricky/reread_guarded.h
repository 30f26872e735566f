#ifndef REREAD_GUARDED_H
#define REREAD_GUARDED_H
static_assert(__COUNTER__ >= 0, "reread");
#endif
