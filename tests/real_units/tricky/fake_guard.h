#ifndef FAKE_H
#define FAKE_OTHER_H
int FAKE_NAME;
#endif
