// core::Morva3dAllocator<T>: the allocator behind every core::Vector. Storage
// comes from the memory pool tagged "core::Morva3dAllocator<T>::allocate"
// (T spelled as in the engine's traces); allocate constructs every slot,
// deallocate destroys every slot, last first, before freeing.
#pragma once
#include "core/Exceptions.h"
#include "core/MemoryManager.h"
#include "core/TypeName.h"
#include <new>
#include <type_traits>

namespace core {

template <typename T> class Morva3dAllocator {
    struct AllocateTag {};
    struct DeallocateTag {};

public:
    typedef T value_type;
    Morva3dAllocator() {}

    static const char* allocateName() {
        return composedName<T, AllocateTag>("core::Morva3dAllocator<", ">::allocate");
    }
    static const char* deallocateName() {
        return composedName<T, DeallocateTag>("core::Morva3dAllocator<", ">::deallocate");
    }

    T* allocate(int n) {
        if (n <= 0) return nullptr;
        long long bytes = (long long)n * (long long)sizeof(T);
        if (bytes > 0x7FFFFFFFLL) bytes = 0x7FFFFFFFLL; // the pool refuses it as too big
        T* p = static_cast<T*>(memoryManager().hwMemAlloc((int)bytes, allocateName(), 16));
        // (Only a host's allocation hook can answer null.)
        if (!p) throw MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "MemoryManager: memory full");
        int i = 0;
        try {
            for (; i < n; ++i) ::new (p + i) T();
        } catch (...) {
            while (i > 0) p[--i].~T();
            memoryManager().hwMemFree(p, deallocateName(), 62);
            throw;
        }
        return p;
    }

    void deallocate(T* p, int n) {
        if (!p) return;
        if (!std::is_trivially_destructible<T>::value) {
            for (int i = n - 1; i >= 0; --i) p[i].~T();
        }
        memoryManager().hwMemFree(p, deallocateName(), 62);
    }
};

} // namespace core
