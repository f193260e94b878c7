// Mono 16-bit PCM WAV files: the canonical 44-byte header, a writer that
// takes the audio as it arrives, and a one-call writer for audio already
// in memory. The sizes in the header are fixed when the file is finished,
// so a stream of unknown length ends up a well-formed file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zelvan_tts {

inline constexpr std::size_t kWavHeaderBytes = 44;

// The header of a mono 16-bit PCM file holding `data_bytes` of samples.
void make_wav_header(std::uint8_t* out, std::uint32_t sample_rate, std::uint32_t data_bytes);

class WavWriter {
public:
    // Throws std::runtime_error when the file cannot be created.
    WavWriter(const std::string& path, int sample_rate);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    void write(const std::int16_t* samples, std::size_t count);

    // Samples already in the file's byte order, two bytes each; a last odd
    // byte is not a sample and is left out.
    void write_pcm(const std::uint8_t* bytes, std::size_t count);

    // Writes the final sizes and closes the file; throws on a write error.
    void finish();

    std::size_t samples_written() const { return samples_; }

private:
    std::FILE* file_;
    std::string path_;
    std::size_t samples_ = 0;
    bool failed_ = false;
    int sample_rate_ = 0;
};

}  // namespace zelvan_tts
