#ifndef OPEN_H
#define OPEN_H
inline int openValue() {
  return 5;
}
#endif
int OPEN_NAME = openValue();
