// core::FileSystem: the process-wide registry of mounted archives, itself an
// archive. Every engine file is opened through it.
//
// Archives are mounted at path prefixes. A name is offered to every mount in
// mounting order: without the mount path when it starts with it, whole
// otherwise. Exactly one archive may answer; two candidates log both and throw.
//
// The single instance is created by get() and kept in the engine globals
// without a counted reference (it holds one on itself, so a stray Ref cannot
// delete it); destroy() deletes it at engine shutdown.
#pragma once
#include "core/Archive.h"
#include "core/Vector.h"

namespace core {

class FileSystem : public Archive {
public:
    class ArchiveData : public Object {
    public:
        ArchiveData(const String& mountPath, Archive* archive) : mountPath(mountPath), archive(archive) {}
        String mountPath;
        Ref<Archive> archive;
    };

    // The file system of the running engine, created on first use.
    static FileSystem* get();
    // Deletes the file system of the running engine (shutdown); a later get()
    // creates a fresh, empty one.
    static void destroy();

    // Mounts archive at mountPath (the file system takes a reference). The
    // same archive object twice throws; another object with the same root is fine.
    void addArchive(Archive* archive, const String& mountPath);

    // The one archive's stream; none throws "File not found!" (read) or
    // "File could not be saved!" (write); two throw as exists does.
    virtual Ref<Stream> openFile(const String& name, int openFlags);
    // Whether one archive holds the name; two candidates throw.
    virtual bool exists(const String& name, int openFlags);
    virtual String getName();

    int getMountCount() const { return m_mounts.size(); }

    // The name a mount at mountPath is asked for.
    static String relativeName(const String& name, const String& mountPath);

private:
    FileSystem() {}
    virtual ~FileSystem() {}
    // The one mount that holds name (null when none) and the name it knows it by.
    ArchiveData* findCandidate(const String& name, int openFlags, String& relative);

    Vector<Ref<ArchiveData>> m_mounts;
};

} // namespace core
