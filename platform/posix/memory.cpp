#include "platform/memory.h"

#define GC_THREADS
#include <gc.h>

void InitBlockHeap() {
    GC_INIT();
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer holds back the signals with which the collector stops
    // the other threads; under it the heap only grows and never collects.
    GC_disable();
#endif
    GC_allow_register_threads();
}

char* AllocBlock(std::size_t size) {
    return static_cast<char*>(GC_MALLOC(size));
}

void CollectBlocks() {
    GC_gcollect();
}
