// Runs the data file fuzz target over sample files when libFuzzer is not
// available: every file named, and every file in every directory named.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool RunFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg, ec)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg, ec)) {
                if (entry.is_regular_file()) {
                    ok = RunFile(entry.path()) && ok;
                    ++runs;
                }
            }
        } else {
            ok = RunFile(arg) && ok;
            ++runs;
        }
    }
    std::printf("fuzz_data_entry: %d inputs\n", runs);
    return ok && runs > 0 ? 0 : 1;
}
