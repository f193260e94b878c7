#include "core/data_file_writer.h"

#include "core/data_files.h"
#include "core/program_key.h"
#include "platform/aes.h"
#include "platform/utf8_path.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace zelvan_tts {

namespace fs = std::filesystem;

std::string gzip_compress(const std::string& data) {
    z_stream stream{};
    // 15 window bits + 16: write the gzip wrapper.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("gzip compression could not start");
    }
    std::string out;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    std::size_t remaining = data.size();
    int status = Z_OK;
    do {
        if (stream.avail_in == 0 && remaining > 0) {
            stream.avail_in = static_cast<uInt>(std::min<std::size_t>(remaining, 1u << 30));
            remaining -= stream.avail_in;
        }
        const std::size_t before = out.size();
        const std::size_t step = 65536;
        out.resize(before + step);
        stream.next_out = reinterpret_cast<Bytef*>(&out[before]);
        stream.avail_out = step;
        status = deflate(&stream, remaining == 0 ? Z_FINISH : Z_NO_FLUSH);
        out.resize(before + (step - stream.avail_out));
    } while (status == Z_OK || status == Z_BUF_ERROR);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw std::runtime_error("gzip compression failed");
    return out;
}

std::vector<std::uint8_t> seal_data_file(const std::string& payload) {
    std::uint8_t iv[kDataFileIvSize];
    random_bytes(iv, sizeof iv);
    const ProgramKey key;
    const auto cipher = aes256_cbc_encrypt(
        key.data(), iv, reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size());
    std::vector<std::uint8_t> file(sizeof iv + cipher.size());
    std::memcpy(file.data(), iv, sizeof iv);
    std::memcpy(file.data() + sizeof iv, cipher.data(), cipher.size());
    return file;
}

void write_data_file(const std::string& path, const std::string& payload, bool gzip) {
    const auto sealed = seal_data_file(gzip ? gzip_compress(payload) : payload);

    const fs::path target = path_from_utf8(path);
    fs::path temp = target;
    temp += ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error(std::strerror(errno));
        out.write(reinterpret_cast<const char*>(sealed.data()),
                  static_cast<std::streamsize>(sealed.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw std::runtime_error("write failed");
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw std::runtime_error(ec.message());
    }
}

}  // namespace zelvan_tts
