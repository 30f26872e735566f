// The files a run writes, the output and the dependency file, made whole or
// not at all. A regular file, or a name where none exists yet, is written
// into a new file beside it, which takes the name only once its text is
// complete: a run that fails or is interrupted leaves the file at the name as
// it was. FIFOs, devices and the standard streams are written in place.
#ifndef TUFLAT_OUTPUT_OUTPUT_FILE_H
#define TUFLAT_OUTPUT_OUTPUT_FILE_H

#include "../platform/os.h"

struct WrittenFile {
  HANDLE handle;
  // The file at the name while the text is written, when there is one.
  FileIdentity identity;
  bool identityKnown;
  // The new file's name, or null when the text goes in place.
  char* temporaryName;
  // The name it takes: the file a symbolic link names, else the name given.
  char* replacedName;
  // Set when a file had the name before the run.
  bool replacesExisting;
};

// Makes `file` ready for a new text for the file `name`. When that cannot be,
// says "cannot create the <what> '<name>'" and why, and returns 0, so that the
// run stops before anything is written. An existing file that cannot be
// written is such a case, as for a plain create: a rename must not replace a
// file that refuses to be written.
int createWrittenFile(const char* name, const char* what, WrittenFile* file);

// Once the file's handle is closed: when the text is `whole`, it takes the
// name; otherwise the file at the name is left as it was (or none is made),
// and standard error says so. Returns 0, after saying why, when the text
// could not take the name.
int finishWrittenFile(WrittenFile* file, bool whole, const char* name, const char* what);

// The run's output: sets OutputFile, and OutputIdentity to the file that has
// the name during the run. Returns 0 after saying why, as createWrittenFile.
int openOutput(const char* name);
// The run's output is the open `handle`, written in place.
void useOutputHandle(HANDLE handle);
// Sends nothing: the caller flushes first. Closes the output and, unless its
// text was lost, gives it the name; OutputIdentity then names the new file.
// Returns 0 when the text could not take the name.
int closeOutput(const char* name);

#endif
