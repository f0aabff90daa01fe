// HAL::FileTree over POSIX opendir/readdir and stat.
#include "hal/FileTree.h"
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace HAL {

namespace {

const int MAX_DEPTH = 16;

uint64_t fnv1a(uint64_t h, const void* data, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

// Mixes one 64-bit value so that summing the entries keeps them apart.
uint64_t finish(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

void walk(const core::String& folder, int depth, FileTreeStamp& stamp) {
    if (depth > MAX_DEPTH) return;
    DIR* d = opendir(folder.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        core::String path;
        path.format("%s/%s", folder.c_str(), e->d_name);
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue; // removed while listing, or a dangling link
        if (S_ISDIR(st.st_mode)) {
            walk(path, depth + 1, stamp);
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;
        uint64_t h = fnv1a(1469598103934665603ull, path.c_str(), (size_t)path.length());
        int64_t fields[3] = {(int64_t)st.st_size, (int64_t)st.st_mtim.tv_sec, (int64_t)st.st_mtim.tv_nsec};
        h = fnv1a(h, fields, sizeof fields);
        // A sum does not care about the listing order.
        stamp.hash += finish(h);
        ++stamp.files;
    }
    closedir(d);
}

} // namespace

FileTreeStamp stampFileTree(const core::String& folder) {
    FileTreeStamp stamp;
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return stamp;
    stamp.exists = true;
    walk(folder, 0, stamp);
    return stamp;
}

} // namespace HAL
