// Test support: a fresh directory under /tmp, removed with its contents.
#pragma once
#include "support/Text.h"
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/pelloran-test-XXXXXX";
        const char* p = mkdtemp(tmpl);
        m_path = p ? p : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory, without a trailing slash.
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

    // Writes bytes to name (directories below are created).
    std::string write(const std::string& name, const std::string& bytes) const {
        std::string full = file(name);
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream out(full, std::ios::binary);
        out.write(bytes.data(), (std::streamsize)bytes.size());
        return full;
    }
    std::string read(const std::string& name) const { return readFile(file(name)); }
    bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

private:
    std::string m_path;
};

// Bytes 0, 1, 2, ... (mod 256), n of them.
inline std::string countingBytes(int n) {
    std::string s((size_t)n, '\0');
    for (int i = 0; i < n; ++i)
        s[(size_t)i] = (char)(i & 0xFF);
    return s;
}

} // namespace testsupport
