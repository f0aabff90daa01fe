#include "core/IOException.h"
#include "core/DebugLog.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace core {

IOException::IOException(const char* message, const String& name) : Morva3DException("UNKNOWN", "UNKNOWN", 0, "") {
    if (!message) message = "";
    const char* n = name.c_str();
    size_t size = std::strlen(n) + std::strlen(message) + 25;
    char* text = static_cast<char*>(std::malloc(size));
    if (text) {
        std::snprintf(text, size, "IO Name: %s. Message: %s", n, message);
        log(LOG_ERROR, "IOException: %s\n", text);
    }
    set("", "", 0, text ? text : message);
    std::free(text);
}

} // namespace core
