// Switched off by a definition before it: its include is never read.
#ifndef SWITCHED_OFF_H
#define SWITCHED_OFF_H
#include "switched.h"
#endif
