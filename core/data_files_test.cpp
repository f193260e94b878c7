#include "core/data_files.h"

#include "core/program_key.h"
#include "platform/aes.h"
#include "core/data_file_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class DataFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zelvan_data_files_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::string write_raw(const std::string& name, const Bytes& bytes) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path(name);
    }

    // A data file with a fixed IV, so that a test's bit flips give the same
    // result on every run.
    std::string write_fixed(const std::string& name, const std::string& payload) const {
        Bytes iv(kDataFileIvSize, 0x5A);
        const ProgramKey key;
        const Bytes cipher = aes256_cbc_encrypt(
            key.data(), iv.data(), reinterpret_cast<const std::uint8_t*>(payload.data()),
            payload.size());
        iv.insert(iv.end(), cipher.begin(), cipher.end());
        return write_raw(name, iv);
    }

    fs::path dir_;
};

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string zlib_wrapped(const std::string& text) {
    uLongf size = compressBound(text.size());
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(text.data()),
             text.size());
    out.resize(size);
    return out;
}

std::string raw_deflate(const std::string& text) {
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, text.size()), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    s.avail_in = static_cast<uInt>(text.size());
    s.next_out = reinterpret_cast<Bytef*>(&out[0]);
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

TEST_F(DataFiles, RoundTripsPayloadsOfEveryBlockPosition) {
    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 100000u}) {
        std::string payload(size, '\0');
        for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<char>(i * 7 + 3);
        write_data_file(path("f.bin"), payload);
        EXPECT_EQ(fs::file_size(path("f.bin")), kDataFileIvSize + (size / 16 + 1) * 16);
        Bytes out{9, 9, 9};
        ASSERT_TRUE(decrypt_file(path("f.bin"), out)) << size;
        EXPECT_EQ(out, bytes_of(payload)) << size;
    }
}

TEST_F(DataFiles, RejectsFilesThatAreNotWholeCiphertexts) {
    Bytes out;
    EXPECT_FALSE(decrypt_file(path("missing.bin"), out));
    EXPECT_FALSE(decrypt_file(dir_.string(), out)) << "a directory";
    EXPECT_FALSE(decrypt_file(write_raw("empty.bin", {}), out));
    EXPECT_FALSE(decrypt_file(write_raw("short.bin", Bytes(15, 1)), out));
    EXPECT_FALSE(decrypt_file(write_raw("iv_only.bin", Bytes(16, 1)), out));

    Bytes sealed = seal_data_file("payload");
    sealed.push_back(0);
    EXPECT_FALSE(decrypt_file(write_raw("ragged.bin", sealed), out));
}

TEST_F(DataFiles, ThirtyTwoByteFileHoldsUpToFifteenBytes) {
    for (std::size_t size = 0; size < 16; ++size) {
        const std::string payload(size, 'x');
        const Bytes sealed = seal_data_file(payload);
        ASSERT_EQ(sealed.size(), 32u);
        Bytes out;
        ASSERT_TRUE(decrypt_file(write_raw("small.bin", sealed), out));
        EXPECT_EQ(out, bytes_of(payload));
    }
}

TEST_F(DataFiles, BitFlipsInTheLastBlockFailAndInTheIvFlipThePayload) {
    const std::string payload = "The first block of sixteen, then some more text.";
    const std::string file = write_fixed("fixed.bin", payload);
    std::ifstream in(file, std::ios::binary);
    const Bytes original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    Bytes out;
    Bytes tampered = original;
    tampered.back() ^= 0x01;
    EXPECT_FALSE(decrypt_file(write_raw("last.bin", tampered), out));

    tampered = original;
    tampered[3] ^= 0x10;  // IV byte 3
    ASSERT_TRUE(decrypt_file(write_raw("iv.bin", tampered), out));
    std::string expected = payload;
    expected[3] ^= 0x10;
    EXPECT_EQ(out, bytes_of(expected));
}

TEST_F(DataFiles, GzipReaderTakesOnlyACompleteGzipStream) {
    std::string text;
    for (int i = 0; text.size() < 200000; ++i)
        text += "строка " + std::to_string(i * 7919 % 1000) + "\n";
    const std::string gz = gzip_compress(text);

    struct Case {
        const char* name;
        std::string payload;
        std::string expected;
    };
    const Case cases[] = {
        {"gzip, several inflate steps", gz, text},
        {"gzip followed by junk", gz + "junk after the member", text},
        {"two members: the first only", gzip_compress("one") + gzip_compress("two"), "one"},
        {"zlib-wrapped", zlib_wrapped(text), ""},
        {"raw deflate", raw_deflate(text), ""},
        {"cut short", gz.substr(0, gz.size() / 2), ""},
        {"missing trailer", gz.substr(0, gz.size() - 4), ""},
        {"not compressed", text, ""},
        {"empty payload", "", ""},
    };
    for (const Case& c : cases) {
        write_data_file(path("dict.bin"), c.payload);
        EXPECT_EQ(decrypt_gzip_file(path("dict.bin")), c.expected) << c.name;
    }
    write_data_file(path("packed.bin"), text, /*gzip=*/true);
    EXPECT_EQ(decrypt_gzip_file(path("packed.bin")), text);
    EXPECT_EQ(decrypt_gzip_file(path("absent.bin")), "");
    EXPECT_EQ(decrypt_gzip_file(write_raw("iv_only.bin", Bytes(16, 0))), "");
}

TEST_F(DataFiles, WriterLeavesNoPartialFileBehind) {
    EXPECT_THROW(write_data_file(path("no/such/dir/f.bin"), "x"), std::runtime_error);
    EXPECT_FALSE(fs::exists(path("no")));
    write_data_file(path("f.bin"), "first");
    write_data_file(path("f.bin"), "second");
    Bytes out;
    ASSERT_TRUE(decrypt_file(path("f.bin"), out));
    EXPECT_EQ(out, bytes_of("second"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace zelvan_tts
