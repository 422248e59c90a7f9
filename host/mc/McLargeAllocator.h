// Memory for working arrays of megabytes. Blocks of 4 MB and more are mapped
// apart and offered to the kernel for 2 MB pages, which a first touch faults
// in far less often and which the TLB covers; smaller ones come from operator
// new. Memory is owned by the container that allocated it.
#pragma once
#include <cstddef>
#include <type_traits>
#include <vector>

void* mcLargeAllocate(std::size_t bytes);
void mcLargeFree(void* block, std::size_t bytes);
// Like mcLargeAllocate, the block zero-filled; a large one is touched only
// where it is written, so that a generous upper bound costs little.
void* mcLargeAllocateZeroed(std::size_t bytes);

// Offers the huge pages within a block allocated elsewhere, before it is
// first written: a block of megabytes that the system maps fresh then faults
// in far less often. Harmless where the block's memory is in use already.
void mcAdviseHugePages(void* block, std::size_t bytes);

template <typename T>
struct McLargeAllocator {
    using value_type = T;
    McLargeAllocator() = default;
    template <typename U>
    McLargeAllocator(const McLargeAllocator<U>&) {}
    T* allocate(std::size_t count) { return static_cast<T*>(mcLargeAllocate(count * sizeof(T))); }
    void deallocate(T* block, std::size_t count) { mcLargeFree(block, count * sizeof(T)); }
    template <typename U>
    bool operator==(const McLargeAllocator<U>&) const {
        return true;
    }
    template <typename U>
    bool operator!=(const McLargeAllocator<U>&) const {
        return false;
    }
};

template <typename T>
using McLargeVector = std::vector<T, McLargeAllocator<T>>;

// A fixed number of items of a trivial type, all zero to begin with.
template <typename T>
class McZeroedArray {
    static_assert(std::is_trivially_copyable<T>::value, "zero bytes make the items");

public:
    explicit McZeroedArray(std::size_t count)
        : items(static_cast<T*>(mcLargeAllocateZeroed(count * sizeof(T)))), size(count) {}
    McZeroedArray(const McZeroedArray&) = delete;
    McZeroedArray& operator=(const McZeroedArray&) = delete;
    ~McZeroedArray() { mcLargeFree(items, size * sizeof(T)); }
    T& operator[](std::size_t i) { return items[i]; }
    const T& operator[](std::size_t i) const { return items[i]; }

private:
    T* items;
    std::size_t size;
};
