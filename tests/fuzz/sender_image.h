// The image the sender fuzz target sends: its size, picked by the input,
// and its contents, a fixed pattern read from memory through a FILE, so
// that a run costs no file system work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

namespace fuzz {

// A short image is at most 40 packets of 128 bytes: enough for every
// branch of the percentage rule (D = N / 19 is 0, 1 and 2); in 1K mode the
// same sizes make up to five 1024-byte packets, with up to eight of 128
// after them, the last one short or not.
constexpr size_t kMaxShortImage = 40 * 128;
// The size field's top value asks for the full 512 KiB image: packet
// numbers wrap past 255 only there. Every such run writes half a megabyte
// and costs as much as a few hundred short ones; each one finds new hit
// counts, so the corpus soon holds many of them. Only one input in
// kFullSizeOneIn that ask gets it: those whose FNV-1a hash is a multiple of
// it. Any change to such an input, a reordering included, keeps it with
// that same small chance, whatever the corpus holds.
constexpr uint16_t kFullSizeField = 0xFFFF;
constexpr unsigned kFullSizeOneIn = 1024;

// The image size a script picks (bytes 1-2 are its size field, high byte
// first; a shorter script has the field 0): the full image as above,
// otherwise the field modulo kMaxShortImage + 1. Has no side effects.
size_t ImageSizeFor(std::span<const uint8_t> script);

// The first `size` bytes of the image pattern (at most the full image);
// the bytes live as long as the program.
std::span<const uint8_t> ImageBytes(size_t size);

// A read-only, seekable FILE over `bytes`, which must outlive it. Returns
// null (errno set) when it cannot be made; fclose releases it.
FILE* OpenInMemory(std::span<const uint8_t> bytes);

} // namespace fuzz
