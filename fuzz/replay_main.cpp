// Runs a fuzz target without libFuzzer: on every file named (directories are
// walked), and with --random N on N inputs from a fixed pseudo-random stream.
// Lets any compiler build and run the targets, e.g. over their seed corpus.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int RunFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::cerr << "cannot read " << path << '\n';
        return 1;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return 0;
}

void RunRandom(unsigned long long count) {
    std::uint64_t state = 0x5EED;
    std::vector<std::uint8_t> input(32);
    for (unsigned long long n = 0; n < count; ++n) {
        for (std::size_t i = 0; i < input.size(); i += 8) {
            // splitmix64
            std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
            z ^= z >> 31;
            for (std::size_t b = 0; b < 8; ++b) {
                input[i + b] = static_cast<std::uint8_t>(z >> (8 * b));
            }
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
}

} // namespace

int main(int argc, char** argv) {
    int failures = 0;
    std::size_t files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--random" && i + 1 < argc) {
            const unsigned long long count = std::strtoull(argv[++i], nullptr, 10);
            RunRandom(count);
            std::cout << count << " random inputs\n";
            continue;
        }
        const std::filesystem::path path(argument);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    failures += RunFile(entry.path());
                    ++files;
                }
            }
        } else {
            failures += RunFile(path);
            ++files;
        }
    }
    std::cout << files << " files\n";
    return failures == 0 ? 0 : 1;
}
