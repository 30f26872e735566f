#include "greet.h"

void greet(void) { printf("%s%s\n", GREETING, PUNCTUATION); }
