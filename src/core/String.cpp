#include "core/String.h"
#include "core/Exceptions.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace core {

// ---- StringPoolElement ----

void StringPoolElement::setEmpty() {
    wide.resize(2);
    wide[0] = MARK;
    wide[1] = 0;
    narrowValid = false;
}

void StringPoolElement::setFromNarrow(const char* text) {
    setEmpty();
    if (text && *text) appendNarrow(text, (int)std::strlen(text));
}

void StringPoolElement::setFromUTF16Bytes(int c, const unsigned char* bytes) {
    if (c < 2 || (c & 1) || !bytes) throw new UnsupportedCharacterSetException();
    int units = c / 2;
    narrowValid = false;
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (c <= 4) throw new UnsupportedCharacterSetException();
        bool terminated = bytes[c - 2] == 0 && bytes[c - 1] == 0;
        wide.resize(units + (terminated ? 0 : 1));
        for (int i = 0; i < units; ++i) wide[i] = (unsigned short)(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (!terminated) wide[units] = 0;
        return;
    }
    if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
        // Big-endian text is not stored; an element that held nothing yet
        // becomes the empty text so that it stays usable.
        if (wide.size() < 2) setEmpty();
        return;
    }
    wide.resize(units + 1);
    wide[0] = MARK;
    for (int i = 0; i < units; ++i) wide[i + 1] = (unsigned short)(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    wide[units] = 0;
}

void StringPoolElement::buildNarrow() {
    int n = wide.size() - 1;
    if (n < 1) {
        narrow.resize(1);
        narrow[0] = 0;
        narrowSum = 0;
        narrowValid = true;
        return;
    }
    narrow.resize(n);
    if (wide[0] == MARK) {
        for (int i = 0; i < n; ++i) narrow[i] = (char)(wide[i + 1] & 0xFF);
    } else if (wide[0] == MARK_BE) {
        for (int i = 0; i < n; ++i) narrow[i] = 0;
    } else {
        throw new UnsupportedCharacterSetException();
    }
    narrow[n - 1] = 0;
    int sum = 0;
    for (int i = 0; i < n - 1; ++i) sum += (signed char)narrow[i];
    narrowSum = sum;
    narrowValid = true;
}

void StringPoolElement::appendElement(const StringPoolElement* other) {
    if (!other || other->length() == 0) return;
    if (wide.size() < 2) setEmpty();
    int own = wide.size();
    int add = other->wide.size();
    wide.resize(own + add - 2);
    // Characters and terminator of other go over our terminator.
    for (int i = 1; i < add; ++i) wide[own - 2 + i] = other->wide[i];
    narrowValid = false;
}

void StringPoolElement::appendNarrow(const char* text, int n) {
    if (!text || n < 1) return;
    if (wide.size() < 2) setEmpty();
    int term = wide.size() - 1;
    wide.resize(wide.size() + n);
    for (int i = 0; i < n; ++i) wide[term + i] = (unsigned char)text[i];
    wide[term + n] = 0;
    narrowValid = false;
}

// ---- String ----

String::String(const char* text) {
    if (!text || !*text) return;
    m_element = new ("core::String::String", 39) StringPoolElement();
    m_element->setFromNarrow(text);
}

String String::fromUTF16Bytes(int byteCount, const unsigned char* bytes) {
    String s;
    Ref<StringPoolElement> e = M3D_NEW StringPoolElement();
    e->setFromUTF16Bytes(byteCount, bytes);
    s.m_element = e;
    return s;
}

void String::checkStringHandle() {
    if (m_element) return;
    m_element = new ("core::String::checkStringHandle", 548) StringPoolElement();
    m_element->setEmpty();
}

void String::assignReusing(const char* text) {
    if (!m_element || m_element->getReferenceCount() != 1) {
        *this = String(text);
        return;
    }
    m_element->setFromNarrow(text);
}

const char* String::c_str() const {
    if (!m_element) return "";
    if (!m_element->narrowValid) m_element->buildNarrow();
    return m_element->narrow.data();
}

int String::narrowSum() const {
    if (!m_element) return 0;
    if (!m_element->narrowValid) m_element->buildNarrow();
    return m_element->narrowSum;
}

bool String::regionMatches(int offset, int count, const String& other) const {
    if (count < 1) return true;
    if (offset < 0 || offset + count > length() || count > other.length()) return false;
    for (int i = 0; i < count; ++i)
        if (charAt(offset + i) != other.charAt(i)) return false;
    return true;
}

int String::indexOf(const String& other) const {
    int n = length();
    if (n == 0) return -1;
    int m = other.length();
    if (m == 0) return 0;
    for (int i = 0; i + m <= n; ++i)
        if (regionMatches(i, m, other)) return i;
    return -1;
}

bool String::equals(const String& other) const {
    int n = length();
    return n == other.length() && regionMatches(0, n, other);
}

String String::substring(int begin, int end) const {
    String s;
    int n = length();
    if (begin < 0) begin = 0;
    if (end > n - 1) end = n - 1;
    Ref<StringPoolElement> e = new ("core::StringPoolElement::substring", 384) StringPoolElement();
    e->setEmpty();
    if (end >= begin) {
        int count = end - begin + 1;
        e->wide.resize(count + 2);
        for (int i = 0; i < count; ++i) e->wide[i + 1] = charAt(begin + i);
        e->wide[count + 1] = 0;
    }
    s.m_element = e;
    return s;
}

String String::replaceAll(const String& find, const String& replacement) const {
    // An empty find never occurs (it would match everywhere, endlessly). With
    // no occurrence the result shares this text: a copy through the narrow
    // view would lose characters above U+00FF.
    int index = find.length() > 0 ? indexOf(find) : -1;
    if (index < 0) return *this;
    // Left to right, each occurrence replaced once; the text after a
    // replacement is searched again (never the replacement itself).
    String result;
    result.checkStringHandle();
    String rest = *this;
    while (index >= 0) {
        if (index > 0) result += rest.substring(0, index - 1);
        result += replacement;
        int after = index + find.length();
        if (after > rest.length() - 1) return result;
        rest = rest.substring(after, rest.length() - 1);
        index = rest.indexOf(find);
    }
    result += rest;
    return result;
}

String String::toForwardSlashes() const { return replaceAll(String("\\"), String("/")); }

void String::copyOwnElement(const char* function, int line) {
    Ref<StringPoolElement> fresh = new (function, line) StringPoolElement();
    fresh->wide = m_element->wide;
    m_element = fresh;
}

String& String::operator+=(const String& other) {
    Ref<StringPoolElement> source = other.m_element; // other may be *this
    checkStringHandle();
    copyOwnElement("core::String::operator +=", other.length() == 0 ? 141 : 136);
    m_element->appendElement(source.get());
    return *this;
}

String& String::operator+=(const char* text) {
    checkStringHandle();
    copyOwnElement("core::String::operator +=", 149);
    if (text) m_element->appendNarrow(text, (int)std::strlen(text));
    return *this;
}

String& String::format(const char* fmt, ...) {
    checkStringHandle();
    char buffer[2048];
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    if (n < 0) n = 0;
    if (n > (int)sizeof buffer - 1) n = (int)sizeof buffer - 1; // cut, never past the buffer
    Ref<StringPoolElement> fresh = new ("core::String::format", 0) StringPoolElement();
    fresh->setEmpty();
    fresh->appendNarrow(buffer, n);
    m_element = fresh;
    return *this;
}

String operator+(const String& a, const String& b) {
    String s;
    s.checkStringHandle();
    s += a;
    s += b;
    return s;
}

} // namespace core
