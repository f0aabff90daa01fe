// core::Object: the reference-counted base class of every shared engine object.
// Objects are allocated from the engine's memory pool; the allocation site is
// tagged with the creating function and source line (use M3D_NEW).
#pragma once
#include <cstddef>

namespace core {

class Object {
public:
    Object() : m_refCount(0) {}
    Object(const Object&) : m_refCount(0) {}
    Object& operator=(const Object&) { return *this; }
    virtual ~Object() {}

    void addReference() { ++m_refCount; }
    int removeReference() { return --m_refCount; }
    int getReferenceCount() const { return m_refCount; }

    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const char* function, int line);
    static void operator delete(void* p);
    // Used only when a constructor throws after the tagged operator new.
    static void operator delete(void* p, const char* function, int line);

private:
    int m_refCount;
};

} // namespace core

// Allocates an engine object from the pool, tagged with the enclosing function and line:
//   core::Ref<core::String> s = M3D_NEW core::String("abc");
#define M3D_NEW new (__PRETTY_FUNCTION__, __LINE__)
// The tag for direct pool requests: hwMemAlloc(size, M3D_HERE).
#define M3D_HERE __PRETTY_FUNCTION__, __LINE__
