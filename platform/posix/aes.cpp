#include "platform/aes.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <stdexcept>

namespace zelvan_tts {

namespace {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// EVP takes int lengths; larger inputs go through in slices of whole blocks.
constexpr std::size_t kSlice = std::size_t{1} << 30;

}  // namespace

bool aes256_cbc_decrypt(const std::uint8_t* key, const std::uint8_t* iv,
                        std::vector<std::uint8_t>& data) {
    if (data.empty() || data.size() % kAesBlockSize != 0) return false;
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key, iv) != 1) {
        return false;
    }
    // In place: the cipher keeps the last block back until the final call, so
    // the output never overtakes the input.
    std::size_t written = 0;
    for (std::size_t offset = 0; offset < data.size(); offset += kSlice) {
        const std::size_t n = std::min(kSlice, data.size() - offset);
        int out = 0;
        if (EVP_DecryptUpdate(ctx.get(), data.data() + written, &out, data.data() + offset,
                              static_cast<int>(n)) != 1) {
            return false;
        }
        written += static_cast<std::size_t>(out);
    }
    int out = 0;
    if (EVP_DecryptFinal_ex(ctx.get(), data.data() + written, &out) != 1) return false;
    written += static_cast<std::size_t>(out);
    data.resize(written);
    return true;
}

std::vector<std::uint8_t> aes256_cbc_encrypt(const std::uint8_t* key, const std::uint8_t* iv,
                                             const std::uint8_t* payload, std::size_t size) {
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key, iv) != 1) {
        throw std::runtime_error("AES encryption could not start");
    }
    std::vector<std::uint8_t> out(size + kAesBlockSize);
    std::size_t written = 0;
    for (std::size_t offset = 0; offset < size; offset += kSlice) {
        const std::size_t n = std::min(kSlice, size - offset);
        int len = 0;
        if (EVP_EncryptUpdate(ctx.get(), out.data() + written, &len, payload + offset,
                              static_cast<int>(n)) != 1) {
            throw std::runtime_error("AES encryption failed");
        }
        written += static_cast<std::size_t>(len);
    }
    int len = 0;
    if (EVP_EncryptFinal_ex(ctx.get(), out.data() + written, &len) != 1) {
        throw std::runtime_error("AES encryption failed");
    }
    out.resize(written + static_cast<std::size_t>(len));
    return out;
}

void random_bytes(std::uint8_t* out, std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX) || RAND_bytes(out, static_cast<int>(size)) != 1) {
        throw std::runtime_error("no random bytes available");
    }
}

void secure_zero(void* data, std::size_t size) { OPENSSL_cleanse(data, size); }

}  // namespace zelvan_tts
