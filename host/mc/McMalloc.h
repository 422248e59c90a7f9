// Raw memory for C-style arrays. Memory from mcmalloc/mcrealloc is freed with mcfree.
#pragma once
#include <cstddef>

// Allocates size bytes; aborts with a message when the system is out of memory,
// so callers never see a null pointer for a non-zero size.
void* mcmalloc(std::size_t size);
// Resizes a block from mcmalloc (or null); same failure policy as mcmalloc.
void* mcrealloc(void* ptr, std::size_t size);
// Frees a block from mcmalloc/mcrealloc; null is allowed.
void mcfree(void* ptr);
