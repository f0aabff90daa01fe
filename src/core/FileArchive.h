// core::FileArchive: names resolved as files under a root path. The root is
// put in front of the name as it is (no separator added): the root "" gives
// names relative to the working directory, "assets/" a folder below it.
#pragma once
#include "core/Archive.h"

namespace core {

class FileArchive : public Archive {
public:
    FileArchive(const String& rootPath, bool writable);
    virtual ~FileArchive() {}

    // A core::FileStream on root + name, named `name`.
    virtual Ref<Stream> openFile(const String& name, int openFlags);
    // Read: whether root + name opens. Write: whether the archive is writable
    // and root + name could be opened for writing; the probe never creates or
    // changes a file.
    virtual bool exists(const String& name, int openFlags);
    // The root path.
    virtual String getName();

    bool isWritable() const { return m_writable; }

private:
    String m_rootPath;
    bool m_writable;
};

} // namespace core
