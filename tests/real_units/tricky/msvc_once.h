// Include-once for one compiler only: the others read it every time.
#ifdef _MSC_VER
#pragma once
#endif
static_assert(__COUNTER__ >= 0, "msvc_once");
