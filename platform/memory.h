// Blocks that the program hands out and never frees, from a collected heap.
//
// A block stays alive while a pointer to it is held in a global, on the stack
// of a registered thread (the main thread and every thread of CreateThread)
// or in another block. Never keep such a pointer only in a standard container.
#pragma once

#include <cstddef>

// Call once at the start of main, before any other thread starts.
void InitBlockHeap();

// A global of size bytes at begin that never holds a pointer to a block:
// the collector no longer reads it (a large table costs it a page fault a
// page). Call after InitBlockHeap.
void KeepNoBlocksIn(const void* begin, std::size_t size);

// A fresh zero-filled block of size bytes; null when memory runs out.
char* AllocBlock(std::size_t size);

// Runs a full collection (tests use it to prove blocks stay intact).
void CollectBlocks();
