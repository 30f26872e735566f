// Shares its guard with util_empty.h: the compiler never reads this body.
#ifndef UTIL_H
#define UTIL_H
#include "stuff.h"
#endif
