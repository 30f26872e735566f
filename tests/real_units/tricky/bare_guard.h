#if !defined BARE_GUARD_H
#define BARE_GUARD_H
inline int bareGuard() {
  return 7;
}
#endif
