#include "core/data_files.h"

#include "core/program_key.h"
#include "platform/aes.h"
#include "platform/utf8_path.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace zelvan_tts {

namespace {

constexpr std::size_t kInflateStep = 32768;

// Wipes a local copy of a secret on every way out of the scope.
struct ScopedWipe {
    void* data;
    std::size_t size;
    ~ScopedWipe() { secure_zero(data, size); }
};

}  // namespace

bool decrypt_file(const std::string& path, std::vector<std::uint8_t>& payload) {
    const std::filesystem::path native = path_from_utf8(path);
    // A directory opens as a stream here, with a nonsense size.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(native, ec)) return false;
    std::ifstream in(native, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < static_cast<std::streamoff>(kDataFileIvSize)) return false;
    in.seekg(0, std::ios::beg);

    std::uint8_t iv[kDataFileIvSize];
    ScopedWipe wipe_iv{iv, sizeof iv};
    // The ciphertext is decrypted in place: the file is held once, not twice.
    try {
        payload.assign(static_cast<std::size_t>(size) - kDataFileIvSize, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!in.read(reinterpret_cast<char*>(iv), sizeof iv) ||
        !in.read(reinterpret_cast<char*>(payload.data()),
                 static_cast<std::streamsize>(payload.size()))) {
        return false;
    }
    in.close();

    const ProgramKey key;
    return aes256_cbc_decrypt(key.data(), iv, payload);
}

std::string data_file_problem(const std::string& path) {
    const std::filesystem::path native = path_from_utf8(path);
    std::error_code ec;
    if (!std::filesystem::exists(native, ec)) return "not found";
    if (!std::filesystem::is_regular_file(native, ec)) return "not a file";
    const std::uintmax_t size = std::filesystem::file_size(native, ec);
    if (ec) return "not readable";
    if (size < kDataFileIvSize + kAesBlockSize || (size - kDataFileIvSize) % kAesBlockSize != 0)
        return "truncated";
    std::vector<std::uint8_t> payload;
    if (decrypt_file(path, payload)) return {};

    // The padding is wrong. Whether the key is right shows in the first
    // block: behind it goes a block that decrypts to a whole block of padding
    // (the encryption of that padding with the first ciphertext block as IV),
    // and the first block's plaintext must start like an archive or a gzip.
    std::ifstream in(native, std::ios::binary);
    std::uint8_t head[kDataFileIvSize + kAesBlockSize];
    ScopedWipe wipe_head{head, sizeof head};
    if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return "not readable";
    const ProgramKey key;
    const std::uint8_t* first = head + kDataFileIvSize;
    std::vector<std::uint8_t> probe(first, first + kAesBlockSize);
    const std::vector<std::uint8_t> pad = aes256_cbc_encrypt(key.data(), first, nullptr, 0);
    probe.insert(probe.end(), pad.begin(), pad.end());
    if (!aes256_cbc_decrypt(key.data(), head, probe) || probe.size() < 4) {
        return "wrong key or not a data file";
    }
    const bool archive = probe[0] == 'P' && probe[1] == 'K';
    const bool gzip = probe[0] == 0x1F && probe[1] == 0x8B;
    secure_zero(probe.data(), probe.size());
    return archive || gzip ? "truncated" : "wrong key or not a data file";
}

std::string decrypt_gzip_file(const std::string& path) {
    const std::filesystem::path native = path_from_utf8(path);
    if (!std::filesystem::exists(native)) return {};

    std::vector<std::uint8_t> compressed;
    if (!decrypt_file(path, compressed)) return {};

    z_stream stream{};
    // 15 window bits + 16: a gzip wrapper only; zlib and raw deflate fail.
    if (inflateInit2(&stream, 15 + 16) != Z_OK) return {};

    std::string text;
    stream.next_in = compressed.data();
    std::size_t remaining = compressed.size();
    int status = Z_OK;
    while (true) {
        // zlib counts input in 32-bit units; feed very large payloads in slices.
        if (stream.avail_in == 0 && remaining > 0) {
            stream.avail_in = static_cast<uInt>(std::min<std::size_t>(remaining, 1u << 30));
            remaining -= stream.avail_in;
        }
        const std::size_t before = text.size();
        text.resize(before + kInflateStep);
        stream.next_out = reinterpret_cast<Bytef*>(&text[before]);
        stream.avail_out = kInflateStep;
        status = inflate(&stream, Z_NO_FLUSH);
        text.resize(before + (kInflateStep - stream.avail_out));
        if (status == Z_STREAM_END) break;
        // Errors, a dictionary request, or no progress because the input ran
        // out before the end of the stream: the file is not a complete gzip.
        if (status != Z_OK) break;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) return {};
    return text;
}

}  // namespace zelvan_tts
