// The guarded allocator for every large buffer: it retries, forces the heap to reorganise,
// and only then ends the program. Callers therefore never receive a null block.
#pragma once
#include <cstddef>
#include <vector>

void* wrmalloc(size_t size);
void* wrcalloc(size_t count, size_t size);
// On failure logs and returns the old block unchanged; the caller must then stay within
// the old size. A null block is allocated through wrmalloc; a size of 0 keeps a 1-byte block
// (the platform's realloc would free the block and return null).
void* wrrealloc(void* block, size_t size);

// Asks the system to back the 2 MiB-aligned interior of a large, not yet touched block with
// huge pages (wrmalloc does this itself). Harmless where the system declines.
void alloc_advise_huge_pages(void* block, size_t size);

// v.resize(count, value), except that a vector which must grow gets its new buffer advised
// for huge pages before the first touch. For the long sample and spectrum buffers.
template <class T>
void resize_with_huge_pages(std::vector<T>& v, size_t count, const T& value = T())
{
    if (count > v.capacity()) {
        std::vector<T> grown;
        grown.reserve(count);
        alloc_advise_huge_pages(grown.data(), count * sizeof(T));
        grown.assign(v.begin(), v.end());
        v.swap(grown);
    }
    v.resize(count, value);
}

// The reorganising pass allocates `count` chunks of `chunk_size` bytes and frees them.
void wrmalloc_chunk_plan(size_t size, size_t* chunk_size, size_t* count);

// Hooks: the platform primitives behind wrmalloc and wrrealloc (tests make them fail; their
// blocks must be releasable with free), and what happens when memory is finally exhausted
// (the desktop program shows its message box there; the process then exits with code 1).
// Null restores the default.
typedef void* (*alloc_primitive_fn)(size_t size);
typedef void* (*realloc_primitive_fn)(void* block, size_t size);
typedef void (*alloc_fatal_fn)(const char* message, const char* title);
void alloc_set_primitive(alloc_primitive_fn fn);
void alloc_set_realloc_primitive(realloc_primitive_fn fn);
void alloc_set_fatal_handler(alloc_fatal_fn fn);
