// core::Archive: an abstract container of named streams (a directory on
// disk, the file system itself). openFlags: 0 = read ("rb"), 1 = write
// ("wb"); other values are rejected with a core::IOException.
#pragma once
#include "core/Object.h"
#include "core/Ref.h"
#include "core/Stream.h"
#include "core/String.h"

namespace core {

class Archive : public Object {
public:
    enum OpenFlags { OPEN_READ = 0, OPEN_WRITE = 1 };

    virtual ~Archive() {}
    // A stream on the named entry; throws core::IOException (or the platform's
    // HAL::HALException) when it cannot be opened.
    virtual Ref<Stream> openFile(const String& name, int openFlags) = 0;
    // Whether openFile would succeed; a probe that fails answers false.
    virtual bool exists(const String& name, int openFlags) = 0;
    virtual String getName() = 0;
};

} // namespace core
