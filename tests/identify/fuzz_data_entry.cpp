// Fuzz target for the identity data file reader: any bytes must read as a
// finite list of well-formed values, never crash, never hang.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "identify/DataFile.h"
#include "identify/LeadingNumber.h"

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_data_entry: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // fmemopen needs room for at least one byte.
    static const uint8_t kNothing = 0;
    std::FILE* file = fmemopen(const_cast<uint8_t*>(size ? data : &kNothing), size ? size : 1, "rb");
    if (!file)
        return 0;
    if (size == 0)
        std::fgetc(file); // an empty file: use up the placeholder byte

    size_t entries = 0;
    while (std::optional<std::string> value = ReadDataEntry(file)) {
        ++entries;
        // Every entry uses at least one byte of the file.
        Require(entries <= size, "more entries than bytes");
        // A value never runs past its line piece or across a line end.
        Require(value->size() < kDataLineRoom, "value longer than a line piece");
        Require(value->find('\n') == std::string::npos, "line end inside a value");
        Require(value->find('"') == std::string::npos, "quote inside a value");
        Require(value->find('\0') == std::string::npos, "NUL inside a value");
        (void)LeadingNumber(*value);
    }
    Require(!ReadDataEntry(file).has_value(), "an entry after the end");
    std::fclose(file);
    return 0;
}
