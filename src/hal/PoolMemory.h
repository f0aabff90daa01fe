// Memory for the engine's pool: one block taken from the system at start-up
// and given back at shut-down.
#pragma once

namespace HAL {
// `size` bytes, 16-byte aligned and zero-filled, or null for a size below 1
// or when the system has no memory. The block is mapped in 2 MB-aligned
// pieces with transparent huge pages asked for, so the pages the pool touches
// fault in as a handful of large pages instead of thousands of small ones;
// where the system has no huge pages it behaves as ordinary memory. Nothing
// is touched here: a page is faulted in when a block is first carved from it.
// Where mapping fails, the C heap (calloc) serves the block.
void* allocatePoolMemory(int size);
// Gives back a block from allocatePoolMemory; null is ignored.
void releasePoolMemory(void* block);
} // namespace HAL
