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
  /D<name>[=<value>]   adds a definition, written as #define <name> <value>;
                       /D<name> alone defines <name> as empty
Only lines that begin exactly with /I or /D count. # starts a comment, even
inside a value. Runs of spaces and tabs become one space. A line ignored that
looks like a switch (-I, /i, indented, or after an indented comment line,
whose indent it takes) gets a warning, as does /I or /D followed by a space.
With -o, OPTIONS may be left out: -I and -D then give every option.

SOURCE - reads standard input, as a file of the current directory named
<stdin> (so progress shows <current directory>\<stdin>). OUTPUT may be the
third name or -o OUTPUT, not both.

A quoted include is searched for in the including file's directory, then the
main source's directory, then the /I directories in order; the first file
that opens is used. Angle includes are copied and only reported.

Flags may stand before, between or after the names; -- ends them. Names
after the third are ignored, each with a warning (after -- too):
  -o OUTPUT, -oOUTPUT  write OUTPUT; -o - writes the flattened text to
                       standard output, and the progress account to standard
                       error (as when OUTPUT is the file standard output
                       already writes to)
  --once               expand a file that the compiler would include only once
                       (#pragma once, or a guard around the whole file) only
                       where the compiler reads it; later includes where it
                       surely reads nothing keep only the comment line; each
                       copy of a #pragma once file is wrapped in
                       #ifndef TUFLAT_ONCE_<n>_ ... #endif, its pragma written
                       as #define TUFLAT_ONCE_<n>_
  --line-directives    add #line directives, so that diagnostics name the
                       original files and lines; files below the current
                       directory are named relative to it
  --line-directives=absolute
                       the same with full paths for every file
  --deps FILE          write a make dependency file: OUTPUT depends on every
                       file read, with an empty rule for each header
  -I DIR, -IDIR        add an include directory after those of OPTIONS; DIR is
                       taken as it stands (spaces and # too)
  -D NAME[=VALUE], -DNAME[=VALUE]
                       add a definition after those of OPTIONS, as compilers
                       do: NAME alone is defined as 1, and VALUE is taken as it
                       stands (spaces and # too)
  -p PATH, --compile-commands PATH
                       take the include directories, definitions and
                       -include files of the entry that compiled SOURCE from
                       a compilation database (compile_commands.json, or a
                       directory holding one); OPTIONS, -I and -D come after
                       them; without OPTIONS, OUTPUT is named with -o
  --compile-commands-entry N
                       take the Nth entry for SOURCE, not the first
  --quiet              no progress account; warnings stay
  --strict             status 2 when an include found no file (or was nested
                       too deep); OUTPUT is still written whole
  -w, --no-warnings    no warnings on standard error
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

Warnings on standard error, FILE:LINE: warning: TEXT, as editors read them,
for every include a marker replaces, each time it is met (a cycle is a note),
for option lines ignored, and, with -p, for arguments of the entry that
change preprocessing in ways not followed (-imacros, -Wp, -Xpreprocessor,
-nostdinc, -undef) and for a header found beside the main source where the
compiler would read another; FILE as given or relative to the current
directory. Past 20 lines, one line at the end counts the rest.

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
  1  the run could not start: bad arguments or an unknown flag; OUTPUT named
     twice, or left out; OUTPUT names OPTIONS or SOURCE; OPTIONS cannot be
     opened or read (missing, a directory, unreadable); SOURCE cannot be
     opened (likewise); OUTPUT cannot be created; with -p, the database
     cannot be read or has no entry for SOURCE, an entry's command has an
     unbalanced quote, or an -include file is found nowhere.
     Standard error says which. Nothing is printed on standard output, and
     OUTPUT is left as it was: not created, not truncated.
  2  the output is incomplete or a stream failed: a write to OUTPUT failed
     (a full disk, a file size limit), closing it failed, a file could not be
     read whole, an include nested too deep or an include of OUTPUT itself was
     not followed, standard output could not be written, the --deps file
     could not be written, or, with --strict, an include found no file.
     Standard error says what is missing. OUTPUT is written into a new file
     beside it, renamed over it when done: a failed write or close, or an
     include of OUTPUT itself, leaves it as it was.
)";

}  // namespace

void printUsage(FILE* stream) {
  fputs(
      "usage: tuflat [FLAGS] OPTIONS SOURCE OUTPUT\n"
      "       tuflat [FLAGS] [OPTIONS] SOURCE -o OUTPUT\n"
      "       tuflat [FLAGS] -p BUILD_DIR SOURCE -o OUTPUT\n",
      stream);
}

void printHelp() {
  printUsage(stdout);
  fputs(kHelpText, stdout);
}
