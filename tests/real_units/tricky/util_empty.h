#ifndef UTIL_H
#define UTIL_H
#endif
