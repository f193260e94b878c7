#include "platform/aes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelvan_tts {
namespace {

std::vector<std::uint8_t> from_hex(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

TEST(Aes, MatchesTheStandardTestVectorAndRoundTrips) {
    // CBC-AES256 example of NIST SP 800-38A, first block.
    const auto key = from_hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const auto iv = from_hex("000102030405060708090a0b0c0d0e0f");
    const auto plain = from_hex("6bc1bee22e409f96e93d7e117393172a");
    auto cipher = aes256_cbc_encrypt(key.data(), iv.data(), plain.data(), plain.size());
    ASSERT_EQ(cipher.size(), 32u);  // a full block of padding follows a whole block
    EXPECT_EQ(std::vector<std::uint8_t>(cipher.begin(), cipher.begin() + 16),
              from_hex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"));
    ASSERT_TRUE(aes256_cbc_decrypt(key.data(), iv.data(), cipher));
    EXPECT_EQ(cipher, plain);

    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 1000u}) {
        std::vector<std::uint8_t> payload(size);
        random_bytes(payload.data(), payload.size());
        auto data = aes256_cbc_encrypt(key.data(), iv.data(), payload.data(), payload.size());
        EXPECT_EQ(data.size(), (size / 16 + 1) * 16);
        ASSERT_TRUE(aes256_cbc_decrypt(key.data(), iv.data(), data)) << size;
        EXPECT_EQ(data, payload) << size;
    }
}

TEST(Aes, RejectsBadLengthsAndBadPadding) {
    std::vector<std::uint8_t> key(32, 7), iv(16, 9);
    std::vector<std::uint8_t> empty;
    EXPECT_FALSE(aes256_cbc_decrypt(key.data(), iv.data(), empty));
    std::vector<std::uint8_t> partial(17, 1);
    EXPECT_FALSE(aes256_cbc_decrypt(key.data(), iv.data(), partial));

    const std::uint8_t payload[] = {1, 2, 3};
    auto data = aes256_cbc_encrypt(key.data(), iv.data(), payload, sizeof payload);
    key[0] ^= 1;  // wrong key: the padding comes out as noise
    int accepted = 0;
    for (int trial = 0; trial < 8; ++trial, key[1]++) {
        auto copy = data;
        accepted += aes256_cbc_decrypt(key.data(), iv.data(), copy) ? 1 : 0;
    }
    EXPECT_LE(accepted, 1);
}

TEST(Aes, RandomBytesDifferAndSecureZeroClears) {
    std::vector<std::uint8_t> a(64), b(64);
    random_bytes(a.data(), a.size());
    random_bytes(b.data(), b.size());
    EXPECT_NE(a, b);  // equal only with probability 2^-512
    secure_zero(a.data(), a.size());
    EXPECT_EQ(a, std::vector<std::uint8_t>(64, 0));
}

}  // namespace
}  // namespace zelvan_tts
