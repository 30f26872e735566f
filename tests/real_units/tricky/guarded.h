/* A guard with a comment before it still makes the file include-once. */
#ifndef GUARDED_H
#define GUARDED_H
int GUARDED_NAME = 3;
#endif  // GUARDED_H
