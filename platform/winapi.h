// The operating-system calls the portable code makes, under their Windows names.
// On Windows they are the real calls (wide text cast from char16_t at the boundary);
// elsewhere a small layer of our own provides them with the same meaning.
#ifndef TUFLAT_PLATFORM_WINAPI_H
#define TUFLAT_PLATFORM_WINAPI_H

#ifdef _WIN32
#include "windows/winapi.h"
#else
#include "linux/winapi.h"
#endif

#endif
