// Replaces malloc and operator new for the whole benchmark binary.
#include "allocations.h"

#include <cstddef>
#include <new>

namespace bench {

std::atomic<bool> counting{false};
std::atomic<long long> cxx_allocations{0};
std::atomic<long long> c_allocations{0};

}  // namespace bench

using bench::c_allocations;
using bench::counting;
using bench::cxx_allocations;

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);

void* malloc(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed)) c_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size)
{
    if (counting.load(std::memory_order_relaxed)) c_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size)
{
    if (counting.load(std::memory_order_relaxed)) c_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
void free(void* pointer) { __libc_free(pointer); }
}

void* operator new(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed)) cxx_allocations.fetch_add(1, std::memory_order_relaxed);
    void* pointer = __libc_malloc(size ? size : 1);
    if (!pointer) throw std::bad_alloc();
    return pointer;
}
void operator delete(void* pointer) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { __libc_free(pointer); }
