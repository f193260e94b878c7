// Writing data files in the format the engine reads: a random 16-byte IV,
// then the payload in AES-256-CBC under the program key, optionally gzipped
// inside the encryption.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelvan_tts {

// A single gzip member holding `data`. Throws std::runtime_error on failure.
std::string gzip_compress(const std::string& data);

// IV + ciphertext of `payload` under the program key, with a fresh random IV.
std::vector<std::uint8_t> seal_data_file(const std::string& payload);

// Writes `payload` (gzipped first when asked) as a data file at `path`
// (UTF-8). The file appears whole or not at all: it is written beside the
// target and renamed over it. Throws std::runtime_error with the reason.
void write_data_file(const std::string& path, const std::string& payload, bool gzip = false);

}  // namespace zelvan_tts
