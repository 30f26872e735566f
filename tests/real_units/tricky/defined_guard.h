#if !defined(DEFINED_GUARD_H)
#define DEFINED_GUARD_H
inline int definedGuard() {
  return 4;
}
#endif
