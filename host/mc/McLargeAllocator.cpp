#include <mc/McLargeAllocator.h>

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t hugePage = std::size_t(2) << 20, smallest = 2 * hugePage;

std::size_t mappedSize(std::size_t bytes) { return (bytes + hugePage - 1) / hugePage * hugePage; }

}  // namespace

void* mcLargeAllocate(std::size_t bytes) {
    if (bytes < smallest) return ::operator new(bytes);
    // Mapped one huge page over, and the ends cut off so that the block
    // starts on a huge page.
    const std::size_t size = mappedSize(bytes);
    if (size < bytes || size + hugePage < size) throw std::bad_alloc();
    void* mapped = ::mmap(nullptr, size + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto at = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t start = (at + hugePage - 1) / hugePage * hugePage;
    const std::size_t head = start - at;  // less than a huge page; the rest of it is the tail
    if (head > 0) ::munmap(mapped, head);
    ::munmap(reinterpret_cast<void*>(start + size), hugePage - head);
    void* block = reinterpret_cast<void*>(start);
    ::madvise(block, size, MADV_HUGEPAGE);  // a hint: without it the block works the same
    return block;
}

void* mcLargeAllocateZeroed(std::size_t bytes) {
    // Mapped memory comes zero-filled.
    if (bytes >= smallest) return mcLargeAllocate(bytes);
    void* block = ::operator new(bytes);
    std::memset(block, 0, bytes);
    return block;
}

void mcAdviseHugePages(void* block, std::size_t bytes) {
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + hugePage - 1) / hugePage * hugePage,
                         end = (start + bytes) / hugePage * hugePage;
    if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

void mcLargeFree(void* block, std::size_t bytes) {
    if (!block) return;
    if (bytes < smallest)
        ::operator delete(block);
    else
        ::munmap(block, mappedSize(bytes));
}
