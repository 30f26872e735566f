#ifndef FEATURE_H
#define FEATURE_H
#ifdef TRICKY_UNDEFINED_FEATURE
#include "once.h"
#endif
#endif
