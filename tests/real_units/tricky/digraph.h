%:ifndef DIGRAPH_H
%:define DIGRAPH_H
static_assert(__COUNTER__ >= 0, "digraph");
%:include "stuff.h"
%:endif
