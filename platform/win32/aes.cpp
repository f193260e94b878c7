#include "platform/aes.h"

// windows.h comes first: the other headers build on its types.
#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <cstring>
#include <stdexcept>

namespace zelvan_tts {

namespace {

// A raw AES-256 key as CryptImportKey takes it: the blob header, the key
// length, then the key bytes (44 bytes in all).
struct AesKeyBlob {
    BLOBHEADER header;
    DWORD size;
    BYTE key[kAesKeySize];
};
static_assert(sizeof(AesKeyBlob) == 44, "the provider expects a packed 44-byte blob");

// A verify-only context of the AES provider and one imported key, both
// released (and the local copies of key and IV wiped) on every way out.
class AesKey {
public:
    AesKey(const std::uint8_t* key, const std::uint8_t* iv) {
        if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES,
                                  CRYPT_VERIFYCONTEXT)) {
            provider_ = 0;
            return;
        }
        AesKeyBlob blob{};
        blob.header.bType = PLAINTEXTKEYBLOB;
        blob.header.bVersion = CUR_BLOB_VERSION;
        blob.header.reserved = 0;
        blob.header.aiKeyAlg = CALG_AES_256;
        blob.size = kAesKeySize;
        std::memcpy(blob.key, key, kAesKeySize);
        BYTE iv_copy[kAesBlockSize];
        std::memcpy(iv_copy, iv, sizeof iv_copy);
        DWORD mode = CRYPT_MODE_CBC;
        ok_ = CryptImportKey(provider_, reinterpret_cast<const BYTE*>(&blob), sizeof blob, 0, 0,
                             &key_) &&
              CryptSetKeyParam(key_, KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0) &&
              CryptSetKeyParam(key_, KP_IV, iv_copy, 0);
        SecureZeroMemory(&blob, sizeof blob);
        SecureZeroMemory(iv_copy, sizeof iv_copy);
    }
    ~AesKey() {
        if (key_ != 0) CryptDestroyKey(key_);
        if (provider_ != 0) CryptReleaseContext(provider_, 0);
    }
    AesKey(const AesKey&) = delete;
    AesKey& operator=(const AesKey&) = delete;

    // False when the provider or the key could not be set up.
    bool ok() const { return ok_; }
    HCRYPTKEY get() const { return key_; }

private:
    HCRYPTPROV provider_ = 0;
    HCRYPTKEY key_ = 0;
    bool ok_ = false;
};

// The provider counts in DWORDs; one call takes the whole text.
constexpr std::size_t kMaxText = 0xFFFFFFFFu - kAesBlockSize;

}  // namespace

bool aes256_cbc_decrypt(const std::uint8_t* key, const std::uint8_t* iv,
                        std::vector<std::uint8_t>& data) {
    if (data.empty() || data.size() % kAesBlockSize != 0 || data.size() > kMaxText) return false;
    AesKey aes(key, iv);
    if (!aes.ok()) return false;
    // As the last part of the text: the provider checks and strips the padding.
    DWORD length = static_cast<DWORD>(data.size());
    if (!CryptDecrypt(aes.get(), 0, TRUE, 0, data.data(), &length)) return false;
    data.resize(length);
    return true;
}

std::vector<std::uint8_t> aes256_cbc_encrypt(const std::uint8_t* key, const std::uint8_t* iv,
                                             const std::uint8_t* payload, std::size_t size) {
    if (size > kMaxText - kAesBlockSize) throw std::runtime_error("AES encryption: text too long");
    AesKey aes(key, iv);
    if (!aes.ok()) throw std::runtime_error("AES encryption could not start");
    // Room for the padding, which is one whole block when the text fills its last.
    std::vector<std::uint8_t> out(size + kAesBlockSize);
    if (size != 0) std::memcpy(out.data(), payload, size);
    DWORD length = static_cast<DWORD>(size);
    if (!CryptEncrypt(aes.get(), 0, TRUE, 0, out.data(), &length, static_cast<DWORD>(out.size()))) {
        throw std::runtime_error("AES encryption failed");
    }
    out.resize(length);
    return out;
}

void random_bytes(std::uint8_t* out, std::size_t size) {
    while (size > 0) {
        const ULONG n = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, n, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            throw std::runtime_error("no random bytes available");
        }
        out += n;
        size -= n;
    }
}

void secure_zero(void* data, std::size_t size) { SecureZeroMemory(data, size); }

}  // namespace zelvan_tts
