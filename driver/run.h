// The whole run, from the command-line arguments to the exit status.
#ifndef TUFLAT_DRIVER_RUN_H
#define TUFLAT_DRIVER_RUN_H

// Exit status: 0 when the whole output was written, 1 when the run could not
// start, 2 when the output is incomplete (standard error says what is missing).
int runTuflat(int argumentCount, char** arguments);

#endif
