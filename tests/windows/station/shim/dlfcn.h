// The one use the shared tests make of dlfcn: a test's own
// definition of a bandlink function stands in front of the library's, and
// dlsym(RTLD_NEXT, name) finds the library's. On Windows that is the
// function bandlink.dll exports under that name.
#pragma once

#include <windows.h>

#define RTLD_NEXT nullptr

inline void *dlsym(void *, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"bandlink.dll"), name));
}
