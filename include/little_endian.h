// Little-endian integers in byte buffers, as the mail request carries them.
// The caller guarantees the bytes.
#pragma once

#include <cstdint>

namespace zobrik {

inline uint32_t ReadUint32LE(const uint8_t* p) noexcept {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint64_t ReadUint64LE(const uint8_t* p) noexcept {
    return uint64_t(ReadUint32LE(p)) | uint64_t(ReadUint32LE(p + 4)) << 32;
}

inline void WriteUint64LE(uint8_t* p, uint64_t value) noexcept {
    for (int i = 0; i < 8; ++i) {
        p[i] = uint8_t(value >> (8 * i));
    }
}

}  // namespace zobrik
