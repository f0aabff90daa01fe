// The pool's memory: an anonymous mapping with the block starting on a huge
// page boundary. Page faults are the cost of a fresh pool (10 MB is 2,500
// small pages, each fault a trip into the kernel); huge pages cut that to a
// few. A 16-byte record in front of the block says how it was made, so the
// release needs only the pointer.
#include "hal/PoolMemory.h"
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace HAL {
namespace {

const size_t HUGE_PAGE = 2u << 20;
const size_t RECORD = 16;

struct Record {
    void* base;    // the mapping, or the malloc block
    size_t length; // the mapping's length; 0 for a malloc block
};
static_assert(sizeof(Record) <= RECORD, "the record fits in front of the block");

Record* recordOf(void* block) { return reinterpret_cast<Record*>(static_cast<unsigned char*>(block) - RECORD); }

} // namespace

void* allocatePoolMemory(int size) {
    if (size < 1) return nullptr;
    // Room for the record, then the block from the next huge page boundary.
    size_t length = (size_t)size + RECORD + HUGE_PAGE;
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    unsigned char* block;
    if (base != MAP_FAILED) {
        uintptr_t first = (uintptr_t)base + RECORD;
        block = reinterpret_cast<unsigned char*>((first + HUGE_PAGE - 1) & ~(uintptr_t)(HUGE_PAGE - 1));
        // Only a hint: without huge pages the mapping stays as it is.
        madvise(base, length, MADV_HUGEPAGE);
    } else {
        base = std::calloc(1, (size_t)size + RECORD);
        if (!base) return nullptr;
        block = static_cast<unsigned char*>(base) + RECORD;
        length = 0;
    }
    Record* r = recordOf(block);
    r->base = base;
    r->length = length;
    return block;
}

void releasePoolMemory(void* block) {
    if (!block) return;
    Record r = *recordOf(block);
    if (r.length != 0)
        munmap(r.base, r.length);
    else
        std::free(r.base);
}

} // namespace HAL
