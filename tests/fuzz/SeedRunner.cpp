// Runs a fuzz target once over each file of the given files and folders (the
// suite's smoke test; a finding's replay in a debugger); fails on no input.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    int n = 0;
    auto run = [&](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++n;
    };
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(argv[i], ec)) run(argv[i]);
        for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i], ec))
            if (e.is_regular_file() && e.path().filename().string()[0] != '.') run(e.path());
    }
    std::printf("%d inputs run\n", n);
    return n > 0 ? 0 : 1;
}
