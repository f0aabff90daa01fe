// Test support: the text of the engine exception a call throws, and an IOException's composed text.
#pragma once
#include "core/Exceptions.h"
#include <string>

namespace testsupport {

template <typename F> std::string messageOf(F f) {
    try {
        f();
    } catch (const Morva3DException& e) {
        return e.getMessage();
    }
    return "<no exception>";
}

inline std::string ioText(const std::string& message, const std::string& name = "") {
    return "IO Name: " + name + ". Message: " + message;
}

} // namespace testsupport
