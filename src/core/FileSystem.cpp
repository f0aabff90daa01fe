// core::FileSystem: mounts and the candidate search.
#include "core/FileSystem.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/IOException.h"

namespace core {

FileSystem* FileSystem::get() {
    EngineGlobals* g = engineGlobals();
    if (!g) throw IOException("FileSystem::get: No engine is running", String("FileSystem"));
    if (!g->fileSystem) {
        FileSystem* fs = new ("core::FileSystem::get", 183) FileSystem();
        fs->addReference();
        g->fileSystem = fs;
    }
    return g->fileSystem;
}

void FileSystem::destroy() {
    EngineGlobals* g = engineGlobals();
    if (!g || !g->fileSystem) return;
    FileSystem* fs = g->fileSystem;
    g->fileSystem = nullptr;
    delete fs;
}

String FileSystem::getName() { return String("FileSystem"); }

void FileSystem::addArchive(Archive* archive, const String& mountPath) {
    if (!archive) throw IOException("FileSystem::addArchive: No archive given", getName());
    // Kept while mounting: the caller may have handed over its only reference.
    Ref<Archive> keep(archive);
    String archiveName = archive->getName();
    log(LOG_SCRIPT, "FileSystem: Mounting archive: \"%s\" to path \"%s\"\n", archiveName.c_str(), mountPath.c_str());
    if (archive == this) throw IOException("FileSystem::addArchive: Can not mount the file system in itself", archiveName);
    for (int i = 0; i < m_mounts.size(); ++i) {
        if (m_mounts[i]->archive.get() == archive)
            throw IOException("FileSystem::addArchive: More than one same archives found!", archiveName);
    }
    m_mounts.append(Ref<ArchiveData>(new ("core::FileSystem::addArchive", 130) ArchiveData(mountPath, archive)));
}

String FileSystem::relativeName(const String& name, const String& mountPath) {
    int m = mountPath.length();
    if (m == 0 || name.length() < m || !name.regionMatches(0, m, mountPath)) return name;
    return name.substring(m);
}

FileSystem::ArchiveData* FileSystem::findCandidate(const String& name, int openFlags, String& relative) {
    ArchiveData* found = nullptr;
    for (int i = 0; i < m_mounts.size(); ++i) {
        ArchiveData* mount = m_mounts[i].get();
        String rel = relativeName(name, mount->mountPath);
        if (rel.isEmpty()) continue;
        if (!mount->archive->exists(rel, openFlags)) continue;
        if (!found) {
            found = mount;
            relative = rel;
            continue;
        }
        String first = found->mountPath + relative;
        String second = mount->mountPath + rel;
        log(LOG_WARNING, "Duplicated archive canditate %s\n", first.c_str());
        log(LOG_WARNING, "Duplicated archive canditate %s\n", second.c_str());
        throw IOException("FileSystem::exists: More than one file canditates found!", name);
    }
    return found;
}

bool FileSystem::exists(const String& name, int openFlags) {
    String relative;
    return findCandidate(name, openFlags, relative) != nullptr;
}

Ref<Stream> FileSystem::openFile(const String& name, int openFlags) {
    String relative;
    ArchiveData* mount = findCandidate(name, openFlags, relative);
    if (mount) {
        // Held across the open, although mounts are never removed.
        Ref<Archive> archive = mount->archive;
        return archive->openFile(relative, openFlags);
    }
    if (openFlags == OPEN_WRITE) throw IOException("FileSystem::openFile: File could not be saved!", name);
    throw IOException("FileSystem::openFile: File not found!", name);
}

} // namespace core
