// HAL::GeneralFile over the C runtime's buffered files.
#include "hal/GeneralFile.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include <climits>
#include <cstdint>
#include <sys/stat.h>

namespace HAL {

GeneralFile::GeneralFile(const core::String& path, const core::String& mode) : File(path, mode), m_file(nullptr) {}

GeneralFile::~GeneralFile() {
    if (m_file) {
        try {
            fclose();
        } catch (const HALException&) {
            // Already logged by fclose; a destructor must not throw.
        }
    }
}

void GeneralFile::fail(const char* logLine, const char* message) {
    core::log(core::LOG_ERROR, "%s", logLine);
    throw HALException("UNKNOWN", "UNKNOWN", 0, message);
}

void GeneralFile::fopen() {
    core::String path = getPath();
    const char* p = path.c_str();
    if (m_file) fclose();
    FILE* f = std::fopen(p, m_mode.c_str());
    // The C runtime opens directories for reading here; they are not files.
    struct stat st;
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        f = nullptr;
    }
    if (!f) {
        // Probes (FileArchive::exists) open missing files on purpose, so a
        // failed open is no error line; the exception tells the caller.
        core::log(core::LOG_FILES, "GeneralFile::fopen : %s failed\n", p);
        core::String message;
        message.format("%s : %s", "GeneralFile: can not open the file", p);
        throw HALException("UNKNOWN", "UNKNOWN", 0, message.c_str());
    }
    m_file = f;
    core::log(core::LOG_FILES, "GeneralFile::fopen : %s ok\n", p);
}

int GeneralFile::fread(void* buffer, int count) {
    core::log(core::LOG_FILES, "GeneralFile::fread %d bytes\n", count);
    if (!m_file || count <= 0 || !buffer) return 0;
    return (int)std::fread(buffer, 1, (size_t)count, m_file);
}

void GeneralFile::fwrite(const void* buffer, int count) {
    if (count == 0) return;
    if (!m_file || count < 0 || !buffer || std::fwrite(buffer, (size_t)count, 1, m_file) != 1)
        fail("GeneralFile::fwrite failed\n", "GeneralFile: file write failed");
    core::log(core::LOG_FILES, "GeneralFile::fwrite %d bytes\n", count);
}

int GeneralFile::fsize() {
    const char* line = "GeneralFile::fsize failed\n";
    const char* message = "GeneralFile: file size reading failed";
    if (!m_file) fail(line, message);
    fpos_t saved;
    if (std::fgetpos(m_file, &saved) != 0) fail(line, message);
    bool ok = fseeko(m_file, 0, SEEK_SET) == 0;
    off_t start = ok ? ftello(m_file) : -1;
    ok = ok && start >= 0 && fseeko(m_file, 0, SEEK_END) == 0;
    off_t end = ok ? ftello(m_file) : -1;
    // The position goes back whatever happened above.
    bool restored = std::fsetpos(m_file, &saved) == 0;
    if (!ok || !restored || end < start || end - start > (off_t)INT_MAX) fail(line, message);
    int size = (int)(end - start);
    core::log(core::LOG_FILES, "GeneralFile::fsize = %d bytes\n", size);
    return size;
}

void GeneralFile::fsetpos(int position) {
    if (!m_file || position < 0 || fseeko(m_file, (off_t)position, SEEK_SET) != 0)
        fail("GeneralFile::fsetpos failed\n", "GeneralFile: file set position failed");
    core::log(core::LOG_FILES, "GeneralFile::fsetpos ok\n");
}

int GeneralFile::fgetpos() {
    off_t p = m_file ? ftello(m_file) : -1;
    if (p < 0) fail("GeneralFile::fgetpos failed\n", "GeneralFile: get file position failed");
    int low = (int)(uint32_t)((uint64_t)p & 0xFFFFFFFFu);
    core::log(core::LOG_FILES, "GeneralFile::fgetpos = %d ok\n", low);
    return low;
}

void* GeneralFile::getHandle() { return m_file; }

void GeneralFile::fclose() {
    if (!m_file) return;
    FILE* f = m_file;
    // The handle is gone whatever fclose answers: the C runtime frees it either way.
    m_file = nullptr;
    if (std::fclose(f) != 0) fail("GeneralFile::fclose failed\n", "HAL: can not close the file");
    core::log(core::LOG_FILES, "GeneralFile::fclose ok\n");
}

bool GeneralFile::isOpen() { return m_file != nullptr; }

} // namespace HAL
