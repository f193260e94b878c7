// Every format decodes back (libsndfile reads what the encoder wrote) to
// the sound that went in, streamed to a sink that cannot seek and written
// to a file; names and extensions pick the format; other rates resample.
#include "audio/audio_encoding.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace zelvan_tts {
namespace {

struct Decoded {
    int rate = 0;
    std::vector<float> samples;
};

Decoded decode(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    Decoded d;
    if (f == nullptr) return d;
    EXPECT_EQ(info.channels, 1);
    d.rate = info.samplerate;
    float block[4096];
    sf_count_t n;
    while ((n = sf_readf_float(f, block, 4096)) > 0) d.samples.insert(d.samples.end(), block, block + n);
    sf_close(f);
    return d;
}

double rms(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(to - from));
}

// 0.5 s of a 440 Hz tone at half scale: RMS 0.354.
std::vector<float> tone() {
    std::vector<float> x(24000);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = 0.5f * std::sin(2 * M_PI * 440 * i / 48000.0);
    return x;
}

std::string encode(AudioFormat format, bool seekable, int rate, std::vector<std::uint8_t>* bytes) {
    const std::string path = ::testing::TempDir() + "enc_" + audio_format_name(format) +
                             (seekable ? "_file" : "_stream") + std::to_string(rate);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ByteSink sink = file_byte_sink(file);
    if (!seekable) sink.rewrite = nullptr;  // as a socket
    auto write = sink.write;
    sink.write = [&, write](const std::uint8_t* d, std::size_t n) {
        bytes->insert(bytes->end(), d, d + n);
        return write(d, n);
    };
    const std::vector<float> x = tone();
    {
        AudioEncoder encoder(format, 48000, sink, rate);
        // In uneven blocks, as sentences arrive.
        EXPECT_TRUE(encoder.write(x.data(), 7000));
        EXPECT_TRUE(encoder.write(x.data() + 7000, x.size() - 7000));
        EXPECT_TRUE(encoder.finish());
    }
    std::fclose(file);
    return path;
}

TEST(AudioEncoding, EveryFormatDecodesBackToTheSameSound) {
    const struct {
        AudioFormat format;
        bool seekable;
        int rate;           // asked for
        int expected_rate;  // what the file says
        const char* magic;
    } cases[] = {
        {AudioFormat::Wav, false, 0, 48000, "RIFF"},
        {AudioFormat::Wav, true, 16000, 16000, "RIFF"},
        {AudioFormat::Flac, false, 0, 48000, "fLaC"},
        {AudioFormat::Flac, true, 0, 48000, "fLaC"},
        {AudioFormat::Opus, false, 0, 48000, "OggS"},
        {AudioFormat::Opus, false, 22050, 24000, "OggS"},
        {AudioFormat::Mp3, false, 0, 48000, ""},
        {AudioFormat::Mp3, true, 22050, 22050, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(audio_format_name(c.format)) + (c.seekable ? " file " : " stream ") +
                     std::to_string(c.rate));
        std::vector<std::uint8_t> bytes;
        const std::string path = encode(c.format, c.seekable, c.rate, &bytes);
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + std::string(c.magic).size()), c.magic);
        const Decoded d = decode(path);
        EXPECT_EQ(d.rate, c.expected_rate);
        // 0.5 s, give or take a codec's delay and padding (MP3 at 22 kHz: its
        // header frame and encoder delay, some 0.075 s).
        EXPECT_NEAR(double(d.samples.size()) / c.expected_rate, 0.5, 0.08);
        if (d.samples.size() > size_t(c.expected_rate) / 2) {
            const std::size_t q = size_t(c.expected_rate) / 8;
            EXPECT_NEAR(rms(d.samples, q, 3 * q), 0.354, 0.04);
        }
        std::remove(path.c_str());
    }
}

TEST(AudioEncoding, RawPcmIsSixteenBitLittleEndianAtTheAskedRate) {
    std::vector<std::uint8_t> bytes;
    ByteSink sink{[&](const std::uint8_t* d, std::size_t n) {
                      bytes.insert(bytes.end(), d, d + n);
                      return true;
                  },
                  nullptr};
    const float samples[] = {1.0f, -1.0f, 0.5f, 1.5f};
    AudioEncoder encoder(AudioFormat::Pcm, 48000, sink);
    encoder.write(samples, 4);
    encoder.finish();
    // 32767, -32767, 16384 (16383.5 to even), 32767 clipped.
    const std::vector<std::uint8_t> expected = {0xFF, 0x7F, 0x01, 0x80, 0x00, 0x40, 0xFF, 0x7F};
    EXPECT_EQ(bytes, expected);

    bytes.clear();
    const std::vector<float> x = tone();
    AudioEncoder down(AudioFormat::Pcm, 48000, sink, 16000);
    down.write(x.data(), x.size());
    down.finish();
    EXPECT_NEAR(double(bytes.size()), 16000.0, 16.0);  // 0.5 s of 2-byte samples
}

TEST(AudioEncoding, ASinkThatRefusesStopsTheEncoder) {
    int calls = 0;
    ByteSink sink{[&](const std::uint8_t*, std::size_t) { return ++calls < 2; }, nullptr};
    const std::vector<float> x = tone();
    AudioEncoder encoder(AudioFormat::Wav, 48000, sink);
    EXPECT_FALSE(encoder.write(x.data(), x.size()));
    EXPECT_FALSE(encoder.write(x.data(), x.size()));
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(encoder.finish());
}

TEST(AudioEncoding, FormatFromNameOrExtension) {
    const struct {
        const char* text;
        bool path;
        std::optional<AudioFormat> expected;
    } cases[] = {
        {"wav", false, AudioFormat::Wav},   {"MP3", false, AudioFormat::Mp3},
        {"opus", false, AudioFormat::Opus}, {"ogg", false, AudioFormat::Opus},
        {"raw", false, AudioFormat::Pcm},   {"aac", false, std::nullopt},
        {"", false, std::nullopt},          {"x.ogg", true, AudioFormat::Opus},
        {"dir/a.b/x.Flac", true, AudioFormat::Flac}, {"a.mp3/x", true, std::nullopt},
        {"speech", true, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.path ? audio_format_from_path(c.text) : audio_format_from_name(c.text),
                  c.expected);
    }
}

}  // namespace
}  // namespace zelvan_tts
