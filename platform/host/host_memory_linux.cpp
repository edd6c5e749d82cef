// os::VirtualAlloc / os::VirtualFree: committed, zero-filled, page-aligned
// blocks from mmap, each followed by an inaccessible guard page so a run past
// the end of a block faults at once. Blocks are counted for leak checks.
//
// A download allocates and frees one small block per piece, and the image is
// read into a fresh block by the run button's checks and again by the worker,
// so released blocks are kept (at most kCacheBlocks of at most kCacheBytes in
// all, oldest dropped first) and handed out again for the same size instead
// of mapping and faulting in fresh pages each time. A kept block
// is unreachable until then: poisoned under AddressSanitizer (a use after
// free is reported as such), inaccessible (PROT_NONE) in the other checked
// builds, so a stray access faults as it would on unmapped memory. It is no
// longer in the table of live blocks, so freeing it again still fails with
// ERROR_INVALID_ADDRESS.
//
// A release build (NDEBUG, no sanitizer) does not change the protection of
// kept pages: in a process with several threads every mprotect interrupts the
// other CPUs to flush their TLBs, and that alone was half the cost of a
// simulated update. There a kept block is cleared when it is released and
// checked to be still clear when it is handed out again, so a write after
// release of anything but zeros still stops the process (a read goes
// unnoticed; the test builds catch both).
#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/os.h"

#if defined(__SANITIZE_ADDRESS__)
#define QN_HOST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QN_HOST_ASAN 1
#endif
#endif
#ifdef QN_HOST_ASAN
#include <sanitizer/asan_interface.h>
#endif
#if defined(QN_HOST_ASAN) || !defined(NDEBUG)
#define QN_HOST_PROTECT_KEPT 1
#endif

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kCacheBytes = (64u << 20) + 16 * kPage;  // the largest image with its guard page, or pieces
constexpr size_t kCacheBlocks = 16;

struct Block {
    size_t size;     // as asked
    size_t mapped;   // pages of the block plus the guard page
    int prot;        // PROT_* of the block's pages
};

struct KeptBlock {
    void* base;
    size_t mapped;
};

std::mutex g_memory_mutex;
std::map<uintptr_t, Block> g_blocks;
std::vector<KeptBlock> g_kept;  // oldest first

// Makes a released block unreachable and keeps it, or unmaps it.
void KeepOrUnmap(void* base, const Block& block) {
    const size_t pages = block.mapped - kPage;
    if (block.prot != (PROT_READ | PROT_WRITE) || block.mapped > kCacheBytes) {
        munmap(base, block.mapped);
        return;
    }
#if defined(QN_HOST_ASAN)
    ASAN_POISON_MEMORY_REGION(base, pages);
#elif defined(QN_HOST_PROTECT_KEPT)
    if (mprotect(base, pages, PROT_NONE) != 0) {
        munmap(base, block.mapped);
        return;
    }
#else
    std::memset(base, 0, pages);
#endif
    size_t kept_bytes = block.mapped;
    for (const KeptBlock& kept : g_kept) kept_bytes += kept.mapped;
    while (!g_kept.empty() && (g_kept.size() == kCacheBlocks || kept_bytes > kCacheBytes)) {
        KeptBlock oldest = g_kept.front();
        g_kept.erase(g_kept.begin());
        kept_bytes -= oldest.mapped;
#ifdef QN_HOST_ASAN
        ASAN_UNPOISON_MEMORY_REGION(oldest.base, oldest.mapped - kPage);
#endif
        munmap(oldest.base, oldest.mapped);
    }
    g_kept.push_back(KeptBlock{base, block.mapped});
}

// The oldest kept block of this mapped size (the longest unreachable, so a
// late access to it has had the most chances to be caught), readable,
// writable and zeroed again; or null.
void* TakeKept(size_t mapped) {
    for (size_t i = 0; i < g_kept.size(); ++i) {
        if (g_kept[i].mapped != mapped) continue;
        void* base = g_kept[i].base;
        g_kept.erase(g_kept.begin() + static_cast<std::ptrdiff_t>(i));
#if defined(QN_HOST_ASAN)
        ASAN_UNPOISON_MEMORY_REGION(base, mapped - kPage);
#elif defined(QN_HOST_PROTECT_KEPT)
        if (mprotect(base, mapped - kPage, PROT_READ | PROT_WRITE) != 0) {
            munmap(base, mapped);
            return nullptr;
        }
#else
        static const unsigned char kZeroPage[kPage] = {};
        for (size_t at = 0; at < mapped - kPage; at += kPage) {
            if (std::memcmp(static_cast<const unsigned char*>(base) + at, kZeroPage, kPage) != 0) {
                std::fprintf(stderr, "os::VirtualAlloc: a released block at %p was written after its release\n", base);
                std::abort();
            }
        }
        return base;
#endif
        std::memset(base, 0, mapped - kPage);
        return base;
    }
    return nullptr;
}

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

size_t HostKeptMemoryBytes() {
    std::lock_guard<std::mutex> lock(g_memory_mutex);
    size_t total = 0;
    for (const KeptBlock& kept : g_kept) total += kept.mapped;
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
    int prot = protect == PAGE_READONLY ? PROT_READ : PROT_READ | PROT_WRITE;
    std::lock_guard<std::mutex> lock(g_memory_mutex);
    void* base = prot == (PROT_READ | PROT_WRITE) ? TakeKept(mapped) : nullptr;
    if (!base) {
        base = mmap(nullptr, mapped, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (mprotect(base, pages, prot) != 0) {
            munmap(base, mapped);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    g_blocks[reinterpret_cast<uintptr_t>(base)] = Block{size, mapped, prot};
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
        Block block = it->second;
        g_blocks.erase(it);
        KeepOrUnmap(address, block);
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
