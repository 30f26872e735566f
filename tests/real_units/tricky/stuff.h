#ifndef STUFF_H
#define STUFF_H
static_assert(__COUNTER__ >= 0, "stuff");
#endif
