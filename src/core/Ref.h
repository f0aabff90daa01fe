// core::Ref<T>: the counting smart pointer of every shared engine object.
// Taking an object adds one to its count, releasing subtracts one and deletes
// the object (through its virtual destructor) when the count reaches zero.
#pragma once

namespace core {

template <typename T> class Ref {
public:
    Ref() : m_ptr(nullptr) {}
    Ref(T* p) : m_ptr(p) { take(); }
    Ref(const Ref& o) : m_ptr(o.m_ptr) { take(); }
    template <typename U> Ref(const Ref<U>& o) : m_ptr(o.get()) { take(); }
    ~Ref() { release(); }

    // Same object: nothing happens. Otherwise the new object is taken first,
    // then the old one released, so assigning a Ref that the old object owns is safe.
    Ref& operator=(T* p) {
        if (p == m_ptr) return *this;
        T* old = m_ptr;
        m_ptr = p;
        take();
        if (old) releaseObject(old);
        return *this;
    }
    Ref& operator=(const Ref& o) { return *this = o.m_ptr; }
    template <typename U> Ref& operator=(const Ref<U>& o) { return *this = o.get(); }

    void release() {
        if (m_ptr) {
            T* old = m_ptr;
            m_ptr = nullptr;
            releaseObject(old);
        }
    }

    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    T& operator*() const { return *m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    bool operator==(const Ref& o) const { return m_ptr == o.m_ptr; }
    bool operator!=(const Ref& o) const { return m_ptr != o.m_ptr; }
    bool operator==(const T* p) const { return m_ptr == p; }
    bool operator!=(const T* p) const { return m_ptr != p; }

private:
    void take() {
        if (m_ptr) m_ptr->addReference();
    }
    static void releaseObject(T* p) {
        if (p->removeReference() == 0) delete p;
    }
    T* m_ptr;
};

} // namespace core
