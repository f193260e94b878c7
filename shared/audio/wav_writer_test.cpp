#include "shared/audio/wav_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace zelvan_tts {
namespace {

std::vector<std::uint8_t> read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

TEST(WavWriter, HeaderCarriesTheFinalSizes) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("zelvan_wav_" + std::to_string(std::random_device{}()) + ".wav"))
                                 .string();
    {
        WavWriter wav(path, 48000);
        const std::int16_t a[] = {1, -1, 32767};
        const std::int16_t b[] = {-32768};
        wav.write(a, 3);
        wav.write(b, 1);
        wav.finish();
        EXPECT_EQ(wav.samples_written(), 4u);
    }
    const auto bytes = read_all(path);
    ASSERT_EQ(bytes.size(), 44u + 8);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), 36u + 8);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(bytes, 24), 48000u);
    EXPECT_EQ(le32(bytes, 28), 96000u);
    EXPECT_EQ(bytes[22], 1);   // mono
    EXPECT_EQ(bytes[34], 16);  // bits
    EXPECT_EQ(le32(bytes, 40), 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 44, bytes.end()),
              (std::vector<std::uint8_t>{1, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80}));
    std::filesystem::remove(path);

    EXPECT_THROW(WavWriter("/nonexistent/dir/x.wav", 48000), std::runtime_error);
}

}  // namespace
}  // namespace zelvan_tts
