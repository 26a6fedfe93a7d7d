// The guarded allocator for every large buffer: it retries, forces the heap to reorganise,
// and only then ends the program. Callers therefore never receive a null block.
#pragma once
#include <cstddef>

void* wrmalloc(size_t size);
void* wrcalloc(size_t count, size_t size);
// On failure logs and returns the old block unchanged; the caller must then stay within
// the old size.
void* wrrealloc(void* block, size_t size);

// The reorganising pass allocates `count` chunks of `chunk_size` bytes and frees them.
void wrmalloc_chunk_plan(size_t size, size_t* chunk_size, size_t* count);

// Test hooks: the platform primitive behind wrmalloc, and what happens when memory is
// finally exhausted (the desktop program shows a message box there). Null restores the default.
typedef void* (*alloc_primitive_fn)(size_t size);
typedef void (*alloc_fatal_fn)(const char* message, const char* title);
void alloc_set_primitive(alloc_primitive_fn fn);
void alloc_set_fatal_handler(alloc_fatal_fn fn);
