#include "shared/audio/wav_writer.h"

#include "shared/bytes/little_endian.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

namespace zelvan_tts {

void make_wav_header(std::uint8_t* h, std::uint32_t sample_rate, std::uint32_t data_bytes) {
    std::memcpy(h, "RIFF", 4);
    put_u32(h + 4, 36 + data_bytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put_u32(h + 16, 16);               // fmt chunk size
    put_u16(h + 20, 1);                // PCM
    put_u16(h + 22, 1);                // mono
    put_u32(h + 24, sample_rate);      // samples per second
    put_u32(h + 28, sample_rate * 2);  // bytes per second
    put_u16(h + 32, 2);                // bytes per frame
    put_u16(h + 34, 16);               // bits per sample
    std::memcpy(h + 36, "data", 4);
    put_u32(h + 40, data_bytes);
}

WavWriter::WavWriter(const std::string& path, int sample_rate)
    : file_(std::fopen(path.c_str(), "wb")), path_(path) {
    if (file_ == nullptr)
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    std::uint8_t header[kWavHeaderBytes];
    make_wav_header(header, static_cast<std::uint32_t>(sample_rate), 0);
    failed_ = std::fwrite(header, 1, sizeof header, file_) != sizeof header;
    sample_rate_ = sample_rate;
}

WavWriter::~WavWriter() {
    if (file_ != nullptr) std::fclose(file_);
}

void WavWriter::write(const std::int16_t* samples, std::size_t count) {
    std::vector<std::uint8_t> bytes(2 * count);
    for (std::size_t i = 0; i < count; ++i)
        put_u16(&bytes[2 * i], static_cast<std::uint16_t>(samples[i]));
    write_pcm(bytes.data(), bytes.size());
}

void WavWriter::write_pcm(const std::uint8_t* bytes, std::size_t count) {
    count &= ~std::size_t{1};
    if (count == 0) return;
    failed_ = failed_ || std::fwrite(bytes, 1, count, file_) != count;
    samples_ += count / 2;
}

void WavWriter::finish() {
    // A RIFF file counts its bytes in 32 bits.
    const std::size_t data =
        std::min<std::size_t>(2 * samples_, std::numeric_limits<std::uint32_t>::max() - 36);
    std::uint8_t header[kWavHeaderBytes];
    make_wav_header(header, static_cast<std::uint32_t>(sample_rate_),
                    static_cast<std::uint32_t>(data));
    failed_ = failed_ || std::fseek(file_, 0, SEEK_SET) != 0 ||
              std::fwrite(header, 1, sizeof header, file_) != sizeof header;
    failed_ = std::fclose(file_) != 0 || failed_;
    file_ = nullptr;
    if (failed_) throw std::runtime_error("cannot write " + path_);
}

}  // namespace zelvan_tts
