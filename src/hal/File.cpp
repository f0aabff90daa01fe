// HAL::File: path handling shared by every platform file, and the factory.
#include "hal/File.h"
#include "hal/GeneralFile.h"
#include <sys/stat.h>
#include <unistd.h>

namespace HAL {
namespace {
// Splits at the last '/' after turning backslashes into '/'. The directory
// keeps its slash, so directory + name is the path again.
void splitPath(const core::String& path, core::String& directory, core::String& name) {
    core::String p = path.toForwardSlashes();
    int slash = -1;
    for (int i = p.length() - 1; i >= 0; --i) {
        if (p.charAt(i) == '/') {
            slash = i;
            break;
        }
    }
    if (slash < 0) {
        directory = core::String();
        name = p;
    } else {
        directory = p.substring(0, slash);
        name = p.substring(slash + 1);
    }
}
} // namespace

File::File(const core::String& path, const core::String& mode) : m_mode(mode) {
    splitPath(path, m_directory, m_fileName);
}

core::String File::getPath() const {
    core::String p = m_directory;
    p += m_fileName;
    return p;
}

File* File::createFileHandle(const core::String& path, const core::String& mode) {
    return new ("HAL::File::createFileHandle", 213) GeneralFile(path, mode);
}

bool File::canOpenForWriting(const core::String& path) {
    core::String dir, name;
    splitPath(path, dir, name);
    if (name.isEmpty()) return false;
    core::String full = dir;
    full += name;
    struct stat st;
    if (stat(full.c_str(), &st) == 0) {
        return S_ISREG(st.st_mode) && access(full.c_str(), W_OK) == 0;
    }
    // A missing file: its directory must exist and take new entries.
    const char* d = dir.isEmpty() ? "." : dir.c_str();
    if (stat(d, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return access(d, W_OK | X_OK) == 0;
}

bool File::makeDirectory(const core::String& path) {
    if (path.isEmpty()) return false;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) mkdir(path.c_str(), 0777);
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace HAL
