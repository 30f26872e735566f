#ifndef PUSHED_H
#define PUSHED_H
static_assert(__COUNTER__ >= 0, "pushed");
#endif
