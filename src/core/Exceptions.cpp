#include "core/Exceptions.h"
#include <cstdlib>
#include <cstring>

namespace {
char* copyText(const char* s) {
    if (!s) s = "";
    std::size_t n = std::strlen(s) + 1;
    char* p = static_cast<char*>(std::malloc(n));
    if (p) std::memcpy(p, s, n);
    return p;
}
} // namespace

Morva3DException::Morva3DException(const char* file, const char* function, int line, const char* message)
    : m_message(nullptr), m_file(nullptr), m_function(nullptr), m_line(0) {
    set(file, function, line, message);
}

Morva3DException::Morva3DException(const char* message)
    : m_message(nullptr), m_file(nullptr), m_function(nullptr), m_line(0) {
    set("UNKNOWN", "UNKNOWN", 0, message);
}

Morva3DException::Morva3DException(const Morva3DException& o)
    : m_message(nullptr), m_file(nullptr), m_function(nullptr), m_line(0) {
    set(o.getFile(), o.getFunction(), o.m_line, o.getMessage());
}

Morva3DException& Morva3DException::operator=(const Morva3DException& o) {
    if (this != &o) set(o.getFile(), o.getFunction(), o.m_line, o.getMessage());
    return *this;
}

Morva3DException::~Morva3DException() { freeTexts(); }

void Morva3DException::freeTexts() {
    std::free(m_message);
    std::free(m_file);
    std::free(m_function);
    m_message = m_file = m_function = nullptr;
}

void Morva3DException::set(const char* file, const char* function, int line, const char* message) {
    // Copy first: the arguments may be this exception's own texts.
    char* nm = copyText(message);
    char* nf = copyText(file);
    char* nfn = copyText(function);
    freeTexts();
    m_message = nm;
    m_file = nf;
    m_function = nfn;
    m_line = line;
}

Assert_Exception::Assert_Exception(const char* message) {
    if (!message) message = "";
    std::size_t n = std::strlen(message);
    if (n > MAX_MESSAGE - 1) n = MAX_MESSAGE - 1;
    std::memcpy(m_message, message, n);
    m_message[n] = 0;
}
