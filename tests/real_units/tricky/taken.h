#pragma once
inline int takenValue() {
  return 2;
}
