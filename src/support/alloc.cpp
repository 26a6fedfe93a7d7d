#include "support/alloc.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/log.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

static std::atomic<alloc_primitive_fn> primitive{nullptr};
static std::atomic<realloc_primitive_fn> realloc_primitive{nullptr};
static std::atomic<alloc_fatal_fn> fatal_handler{nullptr};

void alloc_set_primitive(alloc_primitive_fn fn) { primitive.store(fn); }
void alloc_set_realloc_primitive(realloc_primitive_fn fn) { realloc_primitive.store(fn); }
void alloc_set_fatal_handler(alloc_fatal_fn fn) { fatal_handler.store(fn); }

// The end of the road: the handler shows the message, then the process ends.
[[noreturn]] static void out_of_memory()
{
    alloc_fatal_fn fatal = fatal_handler.load();
    if (fatal)
        fatal("Error: Sonographica cannot allocate more memory", "Out of memory");
    exit(1);
}

// Large blocks (whole sounds, spectra, pictures) are touched page by page right after they
// are allocated, and on a virtual machine every page fault is expensive. Asking for huge
// pages turns 512 faults into one; where the kernel declines, nothing changes.
void alloc_advise_huge_pages(void* block, size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const size_t huge = (size_t)2 << 20;
    if (size < 2 * huge)
        return;
    uintptr_t from = ((uintptr_t)block + huge - 1) & ~(uintptr_t)(huge - 1);
    uintptr_t to = ((uintptr_t)block + size) & ~(uintptr_t)(huge - 1);
    if (to > from)
        madvise((void*)from, to - from, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

static void* try_alloc(size_t size)
{
    alloc_primitive_fn fn = primitive.load();
    if (fn)
        return fn(size);
    void* p = malloc(size);
    if (p)
        alloc_advise_huge_pages(p, size);
    return p;
}

void wrmalloc_chunk_plan(size_t size, size_t* chunk_size, size_t* count)
{
    size_t s = size / 32;
    if (s < 4096) {
        *chunk_size = 4096;
        *count = size / 4096 + 1;
    } else if (s <= 1048576) {
        *chunk_size = s;
        *count = 32;
    } else {
        *chunk_size = 1048576;
        *count = (size >> 20) + 1;
    }
}

void* wrmalloc(size_t size)
{
    void* p = try_alloc(size);
    if (p)
        return p;

    for (int attempt = 1; attempt <= 10; attempt++) {
        p = try_alloc(size);
        if (p) {
            log_printf(stdout, "wrmalloc() succeded to allocate %d MB after %d extra attempts\n",
                       (int)(size >> 20), attempt);
            return p;
        }
    }

    // Allocating and releasing many chunks makes the heap merge and return its free space.
    size_t chunk_size, count;
    wrmalloc_chunk_plan(size, &chunk_size, &count);
    void** chunks = (void**)calloc(count, sizeof(void*));
    if (chunks) {
        for (size_t i = 0; i < count; i++)
            chunks[i] = wrmalloc(chunk_size);
        for (size_t i = 0; i < count; i++)
            free(chunks[i]);
        free(chunks);
    }

    for (int attempt = 1; attempt <= 10; attempt++) {
        p = try_alloc(size);
        if (p) {
            log_printf(stdout,
                       "wrmalloc() succeded to allocate %d MB after allocating %d chunks then with %d extra attempts\n",
                       (int)(size >> 20), (int)count, attempt);
            return p;
        }
    }

    // %zu: the size of a failed request is often beyond what an int holds.
    log_printf(stderr, "wrmalloc(%zu) ultimately failed to allocate %d MB\nExiting with error.\n",
               size, (int)(size >> 20));
    out_of_memory();
}

void* wrcalloc(size_t count, size_t size)
{
    if (size && count > SIZE_MAX / size) {
        log_printf(stderr, "wrcalloc(%zu, %zu): size overflows\n", count, size);
        out_of_memory();
    }
    // The platform's calloc knows when fresh pages are already zero and leaves them
    // untouched, so a large picture costs nothing until it is written.
    if (!primitive.load()) {
        void* p = calloc(count ? count : 1, size ? size : 1);
        if (p) {
            alloc_advise_huge_pages(p, count * size);
            return p;
        }
    }
    void* p = wrmalloc(count * size);
    memset(p, 0, count * size);
    return p;
}

void* wrrealloc(void* block, size_t size)
{
    if (!block)
        return wrmalloc(size);
    if (size == 0)
        size = 1;
    realloc_primitive_fn fn = realloc_primitive.load();
    void* p = fn ? fn(block, size) : realloc(block, size);
    if (!p) {
        log_printf(stderr, "wrrealloc(0x%llx, %zu bytes) failed\n", (unsigned long long)(uintptr_t)block, size);
        return block;
    }
    return p;
}
