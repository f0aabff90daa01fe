// core::IOException: a failure of a stream, archive or file system, naming it.
// The message reads "IO Name: <name>. Message: <message>" and is logged as an
// error ("IOException: ...") when the exception is created, caught or not.
#pragma once
#include "core/Exceptions.h"
#include "core/String.h"

namespace core {

class IOException : public Morva3DException {
public:
    IOException(const char* message, const String& name);
};

} // namespace core
