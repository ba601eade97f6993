// Check values of loader packets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// CRC-16 with polynomial 0x1021, initial value 0, no reflection.
std::uint16_t crc16(const std::uint8_t* data, std::size_t size);

// Sum of the bytes modulo 256.
std::uint8_t checksum8(const std::uint8_t* data, std::size_t size);

} // namespace sim
