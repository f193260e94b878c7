#include "client/wav_writer.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace zelvan_tts {

namespace {

constexpr std::size_t kHeaderBytes = 44;

void put_le(std::uint8_t* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The canonical header of a mono 16-bit PCM file holding `data_bytes`.
void make_header(std::uint8_t* h, int sample_rate, std::uint32_t data_bytes) {
    std::memcpy(h, "RIFF", 4);
    put_le(h + 4, 36 + data_bytes, 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put_le(h + 16, 16, 4);                                           // fmt chunk size
    put_le(h + 20, 1, 2);                                            // PCM
    put_le(h + 22, 1, 2);                                            // mono
    put_le(h + 24, static_cast<std::uint32_t>(sample_rate), 4);      // samples per second
    put_le(h + 28, static_cast<std::uint32_t>(sample_rate) * 2, 4);  // bytes per second
    put_le(h + 32, 2, 2);                                            // bytes per frame
    put_le(h + 34, 16, 2);                                           // bits per sample
    std::memcpy(h + 36, "data", 4);
    put_le(h + 40, data_bytes, 4);
}

}  // namespace

WavWriter::WavWriter(const std::string& path, int sample_rate)
    : file_(std::fopen(path.c_str(), "wb")), path_(path) {
    if (file_ == nullptr)
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    std::uint8_t header[kHeaderBytes];
    make_header(header, sample_rate, 0);
    failed_ = std::fwrite(header, 1, sizeof header, file_) != sizeof header;
    sample_rate_ = sample_rate;
}

WavWriter::~WavWriter() {
    if (file_ != nullptr) std::fclose(file_);
}

void WavWriter::write(const std::int16_t* samples, std::size_t count) {
    std::vector<std::uint8_t> bytes(2 * count);
    for (std::size_t i = 0; i < count; ++i)
        put_le(&bytes[2 * i], static_cast<std::uint16_t>(samples[i]), 2);
    failed_ = failed_ || std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size();
    samples_ += count;
}

void WavWriter::finish() {
    // A RIFF file counts its bytes in 32 bits.
    const std::size_t data =
        std::min<std::size_t>(2 * samples_, std::numeric_limits<std::uint32_t>::max() - 36);
    std::uint8_t header[kHeaderBytes];
    make_header(header, sample_rate_, static_cast<std::uint32_t>(data));
    failed_ = failed_ || std::fseek(file_, 0, SEEK_SET) != 0 ||
              std::fwrite(header, 1, sizeof header, file_) != sizeof header;
    failed_ = std::fclose(file_) != 0 || failed_;
    file_ = nullptr;
    if (failed_) throw std::runtime_error("cannot write " + path_);
}

}  // namespace zelvan_tts
