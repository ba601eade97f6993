#include "tests/fuzz/sender_image.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "upgrade/Image.h"

namespace fuzz {
namespace {

// Where a FILE made by OpenInMemory reads from.
struct Cursor {
    std::span<const uint8_t> bytes;
    size_t pos = 0;
    char buffer[BUFSIZ]; // the FILE's buffer, made with the cursor
};

ssize_t Read(void* cookie, char* buf, size_t size)
{
    auto* c = static_cast<Cursor*>(cookie);
    const size_t n = std::min(size, c->bytes.size() - std::min(c->pos, c->bytes.size()));
    if (n)
        std::memcpy(buf, c->bytes.data() + c->pos, n);
    c->pos += n;
    return static_cast<ssize_t>(n);
}

int Seek(void* cookie, off64_t* offset, int whence)
{
    auto* c = static_cast<Cursor*>(cookie);
    const off64_t base = whence == SEEK_SET ? 0
        : whence == SEEK_CUR                ? static_cast<off64_t>(c->pos)
                                            : static_cast<off64_t>(c->bytes.size());
    if (*offset < -base)
        return -1;
    c->pos = static_cast<size_t>(base + *offset);
    *offset = static_cast<off64_t>(c->pos);
    return 0;
}

int Close(void* cookie)
{
    delete static_cast<Cursor*>(cookie);
    return 0;
}

} // namespace

size_t ImageSizeFor(std::span<const uint8_t> script)
{
    const unsigned field = script.size() >= 3 ? (script[1] << 8) | script[2] : 0;
    if (field != kFullSizeField)
        return field % (kMaxShortImage + 1);
    uint32_t hash = 2166136261u;
    for (uint8_t byte : script)
        hash = (hash ^ byte) * 16777619u;
    return hash % kFullSizeOneIn == 0 ? static_cast<size_t>(kImageSize) : field % (kMaxShortImage + 1);
}

std::span<const uint8_t> ImageBytes(size_t size)
{
    static const std::vector<uint8_t> pattern = [] {
        std::vector<uint8_t> bytes(static_cast<size_t>(kImageSize));
        for (size_t k = 0; k < bytes.size(); ++k)
            bytes[k] = static_cast<uint8_t>(k * 31 + k / 256 + 7);
        return bytes;
    }();
    return std::span<const uint8_t>(pattern).first(std::min(size, pattern.size()));
}

FILE* OpenInMemory(std::span<const uint8_t> bytes)
{
    auto* cursor = new Cursor;
    cursor->bytes = bytes;
    FILE* file = fopencookie(cursor, "rb", cookie_io_functions_t{Read, nullptr, Seek, Close});
    if (!file) {
        delete cursor;
        return nullptr;
    }
    std::setvbuf(file, cursor->buffer, _IOFBF, sizeof cursor->buffer);
    return file;
}

} // namespace fuzz
