// A 16-bit PCM WAV file written as the audio arrives; the sizes in its
// header are fixed when it is finished, so a stream of unknown length ends
// up a well-formed file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zelvan_tts {

class WavWriter {
public:
    // Throws std::runtime_error when the file cannot be created.
    WavWriter(const std::string& path, int sample_rate);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    void write(const std::int16_t* samples, std::size_t count);

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
