// The spacing of this directive is what is tested.
// clang-format off
  #  pragma   once
inline int spacedOnce() { return 6; }
