  #  pragma   once
inline int spacedOnce() { return 6; }
