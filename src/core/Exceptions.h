// The engine's exception family. Engine code throws by value and catches by
// reference; every throw site passes "UNKNOWN", "UNKNOWN", 0 so only the
// message varies. Texts are owned copies on the C heap (never the pool), so an
// exception can report a full pool.
// The two string exceptions carry nothing; Assert_Exception carries the failed
// check's message (in a fixed buffer, so reporting needs no memory). The string
// exceptions are thrown as pointers to new instances.
#pragma once

class Morva3DException {
public:
    Morva3DException(const char* file, const char* function, int line, const char* message);
    explicit Morva3DException(const char* message);
    Morva3DException(const Morva3DException& o);
    Morva3DException& operator=(const Morva3DException& o);
    virtual ~Morva3DException();

    // Frees the old texts and copies the new ones.
    void set(const char* file, const char* function, int line, const char* message);

    const char* getMessage() const { return m_message ? m_message : ""; }
    const char* getFile() const { return m_file ? m_file : ""; }
    const char* getFunction() const { return m_function ? m_function : ""; }
    int getLine() const { return m_line; }

private:
    void freeTexts();
    char* m_message;
    char* m_file;
    char* m_function;
    int m_line;
};

#define M3D_EXCEPTION_CLASS(Name)                                                                  \
    class Name : public Morva3DException {                                                         \
    public:                                                                                        \
        Name(const char* file, const char* function, int line, const char* message)               \
            : Morva3DException(file, function, line, message) {}                                   \
        explicit Name(const char* message) : Morva3DException(message) {}                          \
    }

namespace core {
M3D_EXCEPTION_CLASS(MemoryManagerException);
class StringIndexOutOfBoundsException {};
class UnsupportedCharacterSetException {};
} // namespace core

namespace render {
M3D_EXCEPTION_CLASS(Graphics3DException);
M3D_EXCEPTION_CLASS(ShaderException);
M3D_EXCEPTION_CLASS(ArithmeticException);
} // namespace render

namespace HAL {
M3D_EXCEPTION_CLASS(HALException);
} // namespace HAL

class Assert_Exception {
public:
    static const int MAX_MESSAGE = 256;
    explicit Assert_Exception(const char* message = "");
    // The failed check's message, cut to MAX_MESSAGE - 1 bytes.
    const char* getMessage() const { return m_message; }

private:
    char m_message[MAX_MESSAGE];
};
