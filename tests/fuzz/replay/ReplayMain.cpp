// Runs a fuzz target's entry point once over every file of the folders
// given, in name order, without libFuzzer: the normal suite replays the
// seed corpus and every input that once failed, under whatever compiler and
// sanitizers the build uses. A target's own checks abort on a fault.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(argv[i], ec)) {
            if (entry.is_regular_file())
                files.push_back(entry.path());
        }
        if (ec) {
            std::fprintf(stderr, "replay: cannot read %s: %s\n", argv[i], ec.message().c_str());
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "replay: no input to replay\n");
        return 2;
    }
    for (const auto &path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::printf("replay: %s (%zu bytes)\n", path.filename().c_str(), bytes.size());
        std::fflush(stdout);
        // A copy of exactly the input's size, so that a read past its end
        // is caught by ASan as it would be under libFuzzer.
        std::vector<uint8_t> copy(bytes.begin(), bytes.end());
        LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
    }
    std::printf("replay: %zu inputs, clean\n", files.size());
    return 0;
}
