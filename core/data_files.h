// Readers of the encrypted data files: a 16-byte IV followed by the payload
// in AES-256-CBC with PKCS#7 padding, no header, no checksum. The readers say
// only whether they succeeded; callers turn failure into their own state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelvan_tts {

inline constexpr std::size_t kDataFileIvSize = 16;

// Replaces `payload` with the decrypted content of the file at `path`
// (UTF-8). False for a missing or unreadable file, a file without a whole,
// non-empty ciphertext, or a wrong key or padding; `payload` is then
// unspecified.
bool decrypt_file(const std::string& path, std::vector<std::uint8_t>& payload);

// Why decrypt_file fails on the file at `path`, in a few words: "not
// found", "not a file", "truncated" (a length no whole ciphertext has, or the
// right key's plaintext with a broken end), "wrong key or not a data file";
// empty when it does not fail.
std::string data_file_problem(const std::string& path);

// The gzip-inflated payload of the file at `path`; empty on any failure,
// including a payload that is zlib-wrapped, raw deflate, or cut short. Bytes
// after the first gzip member are ignored. Throws std::filesystem_error only
// when the existence test fails for another reason than absence.
std::string decrypt_gzip_file(const std::string& path);

}  // namespace zelvan_tts
