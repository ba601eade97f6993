// CRC-16 as the modem's download loader checks it: polynomial 0x1021,
// initial value 0, no reflection, no final XOR, worked byte by byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The 256-entry lookup table for polynomial 0x1021 (entry 1 is 0x1021).
extern const std::array<uint16_t, 256> g_crc16Table;

// Feeds one byte into a running CRC. Returns the new CRC (low 16 bits).
uint16_t Crc16Update(uint8_t byte, uint16_t crc);

// The CRC of `size` bytes, starting from 0. Returns it; reads nothing else.
uint16_t Crc16(const uint8_t* data, size_t size);
