// HAL::FileTree: a cheap fingerprint of every file below a folder, so a
// caller can notice that something in it was saved, added, removed or renamed
// without reading any file's bytes.
#pragma once
#include "core/String.h"
#include <cstdint>

namespace HAL {

struct FileTreeStamp {
    uint64_t hash = 0; // over each file's path, size and modification time
    int files = 0;     // regular files seen
    bool exists = false;
    bool operator==(const FileTreeStamp& o) const {
        return hash == o.hash && files == o.files && exists == o.exists;
    }
    bool operator!=(const FileTreeStamp& o) const { return !(*this == o); }
};

// Walks `folder` and its sub-folders (symbolic links are followed, at most 16
// levels deep, so a link that loops stops there). The stamp does not depend
// on the order the system lists entries in. A missing folder gives an empty
// stamp with exists false. Never throws.
FileTreeStamp stampFileTree(const core::String& folder);

} // namespace HAL
