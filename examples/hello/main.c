#include <stdio.h>
#include "greet.h"

int main(void) {
  /* greet() comes from lib/greet.c, pulled in below. */
  for (int i = 0; i < REPEAT; ++i) greet();
  return 0;
}

#include "greet.c"
