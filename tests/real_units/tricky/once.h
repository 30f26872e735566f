#pragma once
// Defines a function: a second copy would not compile.
inline int onceValue() {
  return 1;
}
