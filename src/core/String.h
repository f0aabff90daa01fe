// core::String: the engine's text, a handle on a shared UTF-16 buffer.
//
// Copies share one core::StringPoolElement (a count change); every change gives
// the string a fresh element first, so other holders never see it (copy on
// write). The element stores [0xFEFF, characters..., 0]; a narrow 8-bit view
// (each unit's low byte) is built on demand and cached until the next change.
// A null element is the empty string.
#pragma once
#include "core/Object.h"
#include "core/Ref.h"
#include "core/Vector.h"

namespace core {

class StringPoolElement : public Object {
public:
    static const unsigned short MARK = 0xFEFF;    // little-endian byte-order mark
    static const unsigned short MARK_BE = 0xFFFE; // the bytes FE FF read as a unit

    StringPoolElement() : narrowSum(0), narrowValid(false) {}

    int length() const { return wide.size() >= 2 ? wide.size() - 2 : 0; }
    void setEmpty();
    void setFromNarrow(const char* text);
    // UTF-16 bytes: odd or shorter than 2 bytes throws UnsupportedCharacterSetException*.
    // FF FE...: the units as they are (mark included; a terminator is added when
    // missing); FE FF...: nothing is stored; anything else: little-endian text
    // without a mark whose last unit is the terminator.
    void setFromUTF16Bytes(int byteCount, const unsigned char* bytes);
    // Builds the narrow cache (throws UnsupportedCharacterSetException* on an unknown mark).
    void buildNarrow();
    void appendElement(const StringPoolElement* other);
    void appendNarrow(const char* text, int n);

    Vector<unsigned short> wide;
    Vector<char> narrow;
    int narrowSum;
    bool narrowValid;
};

class String : public Object {
public:
    String() {}
    String(const char* text);
    String(const String& o) : Object(), m_element(o.m_element) {}
    virtual ~String() {}
    String& operator=(const String& o) {
        m_element = o.m_element;
        return *this;
    }
    String& operator=(const char* text) { return *this = String(text); }

    // A string from UTF-16 bytes (see StringPoolElement::setFromUTF16Bytes).
    static String fromUTF16Bytes(int byteCount, const unsigned char* bytes);

    int length() const { return m_element ? m_element->length() : 0; }
    bool isEmpty() const { return length() == 0; }
    // Character i (unchecked range 0 ... length - 1).
    unsigned short charAt(int i) const { return m_element->wide[i + 1]; }
    // The narrow 8-bit text; valid while the string is unchanged.
    const char* c_str() const;
    // Sum of the narrow characters as signed bytes.
    int narrowSum() const;
    const unsigned short* units() const { return m_element ? m_element->wide.data() : nullptr; }

    bool regionMatches(int offset, int count, const String& other) const;
    int indexOf(const String& other) const;
    bool equals(const String& other) const;
    bool operator==(const String& o) const { return equals(o); }
    bool operator!=(const String& o) const { return !equals(o); }

    String substring(int begin, int end) const;
    String substring(int begin) const { return substring(begin, length() - 1); }
    String replaceAll(const String& find, const String& replacement) const;
    String toForwardSlashes() const;

    String& operator+=(const String& other);
    String& operator+=(const char* text);
    // Replaces the content with printf-formatted text, cut at 2047 characters.
    String& format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Replaces the content with `text`. When this string is its element's only
    // holder the element and its buffers are reused, so text rebuilt every
    // frame costs no allocation once the buffers are large enough.
    void assignReusing(const char* text);

    // Gives a null element the empty text; called before every appending operation.
    void checkStringHandle();
    StringPoolElement* element() const { return m_element.get(); }

private:
    void copyOwnElement(const char* function, int line);
    Ref<StringPoolElement> m_element;
};

String operator+(const String& a, const String& b);

} // namespace core
