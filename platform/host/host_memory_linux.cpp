// os::VirtualAlloc / os::VirtualFree: committed, zero-filled, page-aligned
// blocks from mmap, each followed by an inaccessible guard page so a run past
// the end of a block faults at once. Blocks are counted for leak checks.
#include <sys/mman.h>

#include <map>
#include <mutex>

#include "platform/host/host_control.h"
#include "platform/os.h"

namespace {

constexpr size_t kPage = 4096;

struct Block {
    size_t size;     // as asked
    size_t mapped;   // pages of the block plus the guard page
};

std::mutex g_memory_mutex;
std::map<uintptr_t, Block> g_blocks;

}  // namespace

int HostMemoryBlocks() {
    std::lock_guard<std::mutex> lock(g_memory_mutex);
    return static_cast<int>(g_blocks.size());
}

size_t HostMemoryBytes() {
    std::lock_guard<std::mutex> lock(g_memory_mutex);
    size_t total = 0;
    for (const auto& entry : g_blocks) total += entry.second.size;
    return total;
}

namespace os {

void* VirtualAlloc(void* address, size_t size, DWORD type, DWORD protect) {
    // Only what the tool asks for: a fresh block, reserved and committed.
    if (address || size == 0 || !(type & MEM_COMMIT) || (type & ~(MEM_COMMIT | MEM_RESERVE)) ||
        (protect != PAGE_READWRITE && protect != PAGE_READONLY) || size > (size_t(1) << 40)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t pages = (size + kPage - 1) / kPage * kPage;
    size_t mapped = pages + kPage;
    void* base = mmap(nullptr, mapped, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    int prot = protect == PAGE_READONLY ? PROT_READ : PROT_READ | PROT_WRITE;
    if (mprotect(base, pages, prot) != 0) {
        munmap(base, mapped);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_memory_mutex);
    g_blocks[reinterpret_cast<uintptr_t>(base)] = Block{size, mapped};
    return base;
}

BOOL VirtualFree(void* address, size_t size, DWORD type) {
    std::lock_guard<std::mutex> lock(g_memory_mutex);
    auto it = g_blocks.find(reinterpret_cast<uintptr_t>(address));
    if (it == g_blocks.end()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    if (type == MEM_RELEASE) {
        // Windows releases only a whole block, asked for with size 0.
        if (size != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        munmap(address, it->second.mapped);
        g_blocks.erase(it);
        return TRUE;
    }
    if (type == MEM_DECOMMIT) {
        // The pages stay reserved; their contents are gone.
        size_t pages = it->second.mapped - kPage;
        size_t length = size == 0 ? pages : (size + kPage - 1) / kPage * kPage;
        if (length > pages) length = pages;
        madvise(address, length, MADV_DONTNEED);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace os
