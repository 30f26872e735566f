#ifndef SWITCHED_H
#define SWITCHED_H
static_assert(__COUNTER__ >= 0, "switched");
#endif
