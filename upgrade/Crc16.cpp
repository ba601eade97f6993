#include "upgrade/Crc16.h"

namespace {

constexpr std::array<uint16_t, 256> MakeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[i] = static_cast<uint16_t>(crc);
    }
    return table;
}

} // namespace

constinit const std::array<uint16_t, 256> g_crc16Table = MakeTable();

uint16_t Crc16Update(uint8_t byte, uint16_t crc)
{
    return static_cast<uint16_t>((crc << 8) ^ g_crc16Table[((crc >> 8) ^ byte) & 0xFF]);
}

uint16_t Crc16(const uint8_t* data, size_t size)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i)
        crc = Crc16Update(data[i], crc);
    return crc;
}
