// Runs a fuzz target once over sample inputs when libFuzzer is not there:
// every file named, and every file in every folder named. Exits 0 when all
// could be read (a broken rule aborts inside the target).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

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
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int runs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        const std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg, ec)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg, ec)) {
                if (entry.is_regular_file()) {
                    ok = RunFile(entry.path()) && ok;
                    ++runs;
                }
            }
            if (ec) {
                std::fprintf(stderr, "cannot list %s\n", arg.c_str());
                ok = false;
            }
        } else {
            ok = RunFile(arg) && ok;
            ++runs;
        }
    }
    const std::string name = argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "fuzz";
    std::printf("%s: %d inputs\n", name.c_str(), runs);
    return ok && runs > 0 ? 0 : 1;
}
