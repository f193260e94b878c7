// Little-endian fields in byte buffers, whatever the host's byte order: the
// server's messages and WAV files store their numbers this way.
#pragma once

#include <cstdint>
#include <cstring>

namespace zelvan_tts {

inline void put_u16(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void put_u32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
    out[2] = static_cast<std::uint8_t>(value >> 16);
    out[3] = static_cast<std::uint8_t>(value >> 24);
}

// The IEEE 754 bits of the float, as a u32.
inline void put_f32(std::uint8_t* out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    put_u32(out, bits);
}

inline std::uint16_t get_u16(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(in[0] | in[1] << 8);
}

inline std::uint32_t get_u32(const std::uint8_t* in) {
    return std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
           std::uint32_t{in[3]} << 24;
}

inline float get_f32(const std::uint8_t* in) {
    const std::uint32_t bits = get_u32(in);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace zelvan_tts
