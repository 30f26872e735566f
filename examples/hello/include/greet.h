#ifndef GREET_H
#define GREET_H

#include "config.h"

void greet(void);

#endif
