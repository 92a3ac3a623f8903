// Runs a fuzz target's entry point once on each file named on the command line, or on each file
// of each directory named there (sorted, not recursing, names starting with "." skipped). Lets
// the normal gcc build replay the committed regressions and seeds without libFuzzer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    // An allocation of exactly the input's size (even none), as libFuzzer gives, so that a
    // sanitized build catches a read past the end.
    const std::size_t size = bytes.size();
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), size);
    LLVMFuzzerTestOneInput(copy.get(), size);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
        } else if (std::filesystem::is_regular_file(arg)) {
            files.push_back(arg);
        } else {
            std::fprintf(stderr, "no such file or directory: %s\n", argv[i]);
            return 2;
        }
        for (const auto& file : files) {
            if (!RunFile(file)) {
                return 2;
            }
            ++count;
        }
    }
    // Reaching here means no input aborted.
    std::printf("replayed %zu inputs\n", count);
    return 0;
}
