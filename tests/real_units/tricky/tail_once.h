#pragma once /* a comment that goes on
   to the next line */
static_assert(__COUNTER__ >= 0, "tail");
