// AES-256-CBC with PKCS#7 padding, the cipher of every data file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelvan_tts {

inline constexpr std::size_t kAesKeySize = 32;
inline constexpr std::size_t kAesBlockSize = 16;

// Decrypts `data` in place and strips the padding. False (data unspecified)
// when the length is not a positive multiple of the block size, the padding
// is invalid, or the cipher fails.
bool aes256_cbc_decrypt(const std::uint8_t* key, const std::uint8_t* iv,
                        std::vector<std::uint8_t>& data);

// Pads and encrypts `payload`; throws std::runtime_error if the cipher fails.
std::vector<std::uint8_t> aes256_cbc_encrypt(const std::uint8_t* key, const std::uint8_t* iv,
                                             const std::uint8_t* payload, std::size_t size);

// Fills `out` with cryptographically strong random bytes; throws on failure.
void random_bytes(std::uint8_t* out, std::size_t size);

// Overwrites secrets in a way the optimiser may not drop.
void secure_zero(void* data, std::size_t size);

}  // namespace zelvan_tts
