#include "help.h"

namespace {

// Kept within 80 columns, so that it reads in any terminal; the man page
// tuflat.1 says the same at more length.
constexpr char kHelpText[] = R"(       tuflat --help | -h
       tuflat --version | -V

Flattens the translation unit SOURCE into the file OUTPUT. Every quoted
include line is written as a //--- comment, followed by the flattened text of
the file it names. OUTPUT begins with one #define line per definition and
two empty lines (after a byte-order mark, when SOURCE starts with one). A
progress account goes to standard output.

OPTIONS is a file with one switch per line:
  /I<directory>        adds an include directory (relative to the current
                       directory)
  /D<name>[=<value>]   adds a definition, written as #define <name> <value>
Only lines that begin exactly with /I or /D count. # starts a comment, even
inside a value. Runs of spaces and tabs become one space.

A quoted include is searched for in the including file's directory, then the
main source's directory, then the /I directories in order; the first file
that opens is used. Angle includes are copied and only reported.

Flags come before OPTIONS; -- ends them:
  --once               expand a file that the compiler would include only once
                       (#pragma once, or a guard around the whole file) only
                       where the compiler reads it; later includes where it
                       surely reads nothing keep only the comment line; each
                       copy of a #pragma once file is wrapped in
                       #ifndef TUFLAT_ONCE_<n>_ ... #endif, its pragma written
                       as #define TUFLAT_ONCE_<n>_
  --line-directives    add #line directives, so that diagnostics name the
                       original files and lines
  --deps FILE          write a make dependency file: OUTPUT depends on every
                       file read, with an empty rule for each header
  -I DIR, -IDIR        as if /IDIR were added to the end of OPTIONS
  -D NAME[=VALUE], -DNAME[=VALUE]
                       as if /DNAME[=VALUE] were added to the end of OPTIONS
  --quiet              no progress account
  --expand-angle       also expand #include <name> when an /I directory has it
  --no-expand PATTERN  copy a quoted include (or, with --expand-angle, an
                       angle include) whose name as written matches PATTERN
                       unchanged, and do not follow it; * and ? are wildcards,
                       / and \ are the same; may be given more than once

Markers in OUTPUT, where an include is not followed:
  !!! NO FILE !!!           no directory supplies the file, or a \\?\ name
                            does not open
  //!!! INCLUDE CYCLE !!!   the file is already being expanded further up
  !!! INCLUDE TOO DEEP !!!  the including file is already 256 files deep
  !!! OUTPUT FILE !!!       the file found is OUTPUT itself

Progress lines on standard output:
  n_I=<n>              the number of include directories, the main source's
                       and the /I ones, followed by one <directory> per slot
                       searched: the including file's, the main source's, the
                       /I directories
  n_D=<n>              the number of definitions, then one <#define ...> each
  !<path>              a file tried: the main source, an include's name as
                       written, then each place searched for it
  ?<directory>         after each !<path>: the including file's directory
  l=<bytes>            the file just tried opened; this many bytes were read
  #include: [name]     a quoted include was met
  #include: <name>     an angle include was met
  once-skip=<path>     --once: the file found is not expanded again
--quiet leaves all of these out.

Exit status:
  0  the whole output was written.
  1  the run could not start: bad arguments or an unknown flag; OUTPUT names
     OPTIONS or SOURCE; OPTIONS cannot be opened or read; SOURCE cannot be
     opened (missing, a directory, unreadable); OUTPUT cannot be created.
     Standard error says which. Nothing is printed on standard output, and
     OUTPUT is left as it was: not created, not truncated.
  2  the output is incomplete or a stream failed: a write to OUTPUT failed
     (a full disk, a file size limit), closing it failed, a file could not be
     read whole, an include nested too deep or an include of OUTPUT itself was
     not followed, standard output could not be written, or the --deps file
     could not be written. Standard error says what is missing. OUTPUT is
     written into a new file beside it, renamed over it when done: a failed
     write or close, or an include of OUTPUT itself, leaves it as it was.
)";

}  // namespace

void printUsage(FILE* stream) {
  fputs("usage: tuflat [FLAGS] OPTIONS SOURCE OUTPUT\n", stream);
}

void printHelp() {
  printUsage(stdout);
  fputs(kHelpText, stdout);
}
