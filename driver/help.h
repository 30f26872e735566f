// What `tuflat --help` says, and the usage line of a run that cannot start.
#ifndef TUFLAT_DRIVER_HELP_H
#define TUFLAT_DRIVER_HELP_H

#include <cstdio>

// Writes the usage lines to `stream`.
void printUsage(FILE* stream);

// Writes the whole help to standard output: the usage, the option file, the
// flags, the markers, the progress lines and the exit statuses.
void printHelp();

#endif
