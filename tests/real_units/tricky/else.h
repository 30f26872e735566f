#ifndef ELSE_H
#define ELSE_H
int else_first;
#else
// A second include reads this branch.
int else_again;
#endif
