#include "platform/memory.h"

#include "platform/common/collector.h"

void InitBlockHeap() {
    // The first collection waits for the first block, so that the globals
    // KeepNoBlocksIn names are left out of it.
    GC_set_dont_precollect(1);
    // The heap holds a few hundred KB of blocks: one marking thread is
    // plenty, and no helper threads are started (one per core otherwise).
    GC_set_markers_count(1);
    GC_INIT();
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer holds back the signals with which the collector stops
    // the other threads; under it the heap only grows and never collects.
    GC_disable();
#endif
    GC_allow_register_threads();
}

void KeepNoBlocksIn(const void* begin, std::size_t size) {
    char* start = static_cast<char*>(const_cast<void*>(begin));
    GC_exclude_static_roots(start, start + size);
}

char* AllocBlock(std::size_t size) {
    return static_cast<char*>(GC_MALLOC(size));
}

void CollectBlocks() {
    GC_gcollect();
}
