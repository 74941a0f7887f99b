// Wraps the C library's allocator for the whole program; only the thread
// that asked is counted, so the virtual band's own thread does not show.
#include "alloccount.h"

#include <cstddef>
#include <cstdlib>

namespace {
thread_local bool t_counting = false;
thread_local uint64_t t_count = 0;

#ifndef BENCH_NO_ALLOC_COUNT
void note()
{
    if (t_counting)
        ++t_count;
}
#endif
} // namespace

namespace alloccount {

#ifdef BENCH_NO_ALLOC_COUNT
bool available() { return false; }
#else
// Interposing can fail silently (a static C library, a preloaded
// allocator); then a count of 0 would mean nothing.
bool available()
{
    start();
    void *volatile probe = malloc(16);
    free(probe);
    return stop() == 1;
}
#endif

void start()
{
    t_count = 0;
    t_counting = true;
}

uint64_t stop()
{
    t_counting = false;
    return t_count;
}

} // namespace alloccount

#ifndef BENCH_NO_ALLOC_COUNT
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void __libc_free(void *pointer);

void *malloc(size_t size)
{
    note();
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    note();
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, size_t size)
{
    note();
    return __libc_realloc(pointer, size);
}

void free(void *pointer)
{
    __libc_free(pointer);
}
}
#endif
