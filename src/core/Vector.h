// core::Vector<T>: the engine's growable array over the memory pool.
// Growth takes (n + 16) rounded down to 16, at least twice the old capacity,
// so appends are amortised constant time. Shrinking destroys the dropped
// elements from the last down (core::Ref elements release in that order).
// Index access is unchecked.
#pragma once
#include "core/Morva3dAllocator.h"
#include "core/Object.h"
#include <new>
#include <type_traits>

namespace core {

template <typename T, typename A = Morva3dAllocator<T>> class Vector : public Object {
public:
    Vector() : m_data(nullptr), m_size(0), m_capacity(0) {}
    Vector(const Vector& o) : Object(), m_data(nullptr), m_size(0), m_capacity(0) { *this = o; }
    virtual ~Vector() { releaseStorage(); }

    Vector& operator=(const Vector& o) {
        if (this == &o) return *this;
        resize(o.m_size);
        for (int i = 0; i < o.m_size; ++i) m_data[i] = o.m_data[i];
        return *this;
    }

    void resize(int n) { resizeImpl(n, nullptr); }
    void resize(int n, const T& fill) { resizeImpl(n, &fill); }

    void append(const T& v) {
        // v may live inside this vector; copy it before the storage moves.
        T copy(v);
        resize(m_size + 1);
        m_data[m_size - 1] = copy;
    }

    void clear() { releaseStorage(); }

    T& operator[](int i) { return m_data[i]; }
    const T& operator[](int i) const { return m_data[i]; }
    int size() const { return m_size; }
    int capacity() const { return m_capacity; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_size; }
    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_size; }

    // The capacity a vector of capacity `capacity` grows to for n elements.
    // Past what the pool can hold the result is capped; the allocation then fails.
    static int grownCapacity(int n, int capacity) {
        long long c = ((long long)n + 16) & ~15LL;
        if (c < 2LL * capacity) c = 2LL * capacity;
        return c > 0x7FFFFFF0LL ? 0x7FFFFFF0 : (int)c;
    }

private:
    static const bool PLAIN = std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value;

    void resizeImpl(int n, const T* fill) {
        if (n < 0) n = 0;
        if (n <= m_size) {
            if (!PLAIN) {
                for (int i = m_size - 1; i >= n; --i) {
                    m_data[i].~T();
                    ::new (m_data + i) T();
                }
            }
            m_size = n;
            return;
        }
        if (n <= m_capacity) {
            if (fill) {
                for (int i = m_size; i < n; ++i) m_data[i] = *fill;
            } else if (!PLAIN) {
                for (int i = m_size; i < n; ++i) m_data[i] = T();
            }
            m_size = n;
            return;
        }
        int newCapacity = grownCapacity(n, m_capacity);
        A alloc;
        T* fresh = alloc.allocate(newCapacity);
        try {
            for (int i = 0; i < m_size; ++i) fresh[i] = m_data[i];
            if (fill) {
                for (int i = m_size; i < n; ++i) fresh[i] = *fill;
            }
        } catch (...) {
            alloc.deallocate(fresh, newCapacity);
            throw;
        }
        releaseStorage();
        m_data = fresh;
        m_size = n;
        m_capacity = newCapacity;
    }

    // Every slot past size is kept constructed (default values), so the
    // allocator can destroy all of them, last first.
    void releaseStorage() {
        if (m_data) {
            A alloc;
            T* d = m_data;
            int c = m_capacity;
            m_data = nullptr;
            m_size = m_capacity = 0;
            alloc.deallocate(d, c);
        }
        m_size = m_capacity = 0;
    }

    T* m_data;
    int m_size;
    int m_capacity;
};

} // namespace core
