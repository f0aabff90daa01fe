// Runs a fuzz target over given files and folders once each, without the
// fuzzing engine: the test suite's smoke test of the targets, and a way to
// replay a finding under a debugger. Fails when it finds no input at all.
#include <dirent.h>
#include <sys/stat.h>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int runFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

int runPath(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return 0;
    if (!S_ISDIR(st.st_mode)) return runFile(path);
    int n = 0;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') n += runPath(path + "/" + e->d_name);
        closedir(d);
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    int n = 0;
    for (int i = 1; i < argc; ++i) n += runPath(argv[i]);
    std::printf("%d inputs run\n", n);
    return n > 0 ? 0 : 1;
}
