#include "core/Object.h"
#include "core/MemoryManager.h"

namespace core {

void* Object::operator new(std::size_t size) {
    return memoryManager().hwMemAlloc((int)size, "core::Object::operator new", 25);
}

void* Object::operator new(std::size_t size, const char* function, int line) {
    return memoryManager().hwMemAlloc((int)size, function, line);
}

void Object::operator delete(void* p) { memoryManager().hwMemFree(p, "core::Object::operator delete", 54); }

void Object::operator delete(void* p, const char* function, int line) {
    memoryManager().hwMemFree(p, function, line);
}

} // namespace core
