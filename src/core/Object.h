// core::Object: the reference-counted base class of every shared engine object.
// Objects are allocated from the engine's memory pool; the allocation site is
// tagged with the creating function and source line (use M3D_NEW).
#pragma once
#include <cstddef>

namespace core {

// GCC's use-after-free check follows a count that it cannot prove non-zero
// into a later use of the same object and warns where no free can happen; the
// counting itself is the guard, so the check is silenced for these members.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
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
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic pop
#endif

} // namespace core

// Allocates an engine object from the pool, tagged with the enclosing function and line:
//   core::Ref<core::String> s = M3D_NEW core::String("abc");
#define M3D_NEW new (__PRETTY_FUNCTION__, __LINE__)
// The tag for direct pool requests: hwMemAlloc(size, M3D_HERE).
#define M3D_HERE __PRETTY_FUNCTION__, __LINE__
