// What both BMP readers take from a file's bytes: its little-endian fields
// and its B, G, R pixels.
#pragma once

#include <cstddef>
#include <cstdint>

inline std::uint32_t readLe16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

inline std::uint32_t readLe32(const unsigned char* p) {
    return readLe16(p) | readLe16(p + 2) << 16;
}

// Copies `bytes` bytes of B, G, R pixels (a whole number of them) to out as
// R, G, B, with the CPU's byte shuffle where there is one.
void copySwapped(const unsigned char* in, unsigned char* out, size_t bytes);
