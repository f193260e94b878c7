#include "platform/aes.h"
#include "platform/app_data.h"
#include "platform/model_path_setting.h"
#include "platform/module_path.h"
#include "platform/named_signal.h"
#include "platform/object_names.h"
#include "platform/utf8_path.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace zelvan_tts {
namespace {

std::vector<std::uint8_t> from_hex(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_.empty() ? unsetenv(name_) : setenv(name_, old_.c_str(), 1); }

private:
    const char* name_;
    std::string old_;
};

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

TEST(ObjectNames, AppendTheNamespaceWhenSet) {
    const std::string uid = std::to_string(getuid());
    {
        ScopedEnv env("ZELVAN_TTS_NAMESPACE", nullptr);
        EXPECT_EQ(object_name(NamedObject::Pipe), "@ZelvanTTSBridge");
        EXPECT_EQ(object_name(NamedObject::ServerReady), "@ZelvanTTSBridge");
        EXPECT_EQ(object_name(NamedObject::ServerMutex), "@ZelvanTTSServerMutex");
        EXPECT_EQ(object_name(NamedObject::ConfigChanged), "/ZelvanTTSConfigChanged." + uid);
    }
    {
        ScopedEnv env("ZELVAN_TTS_NAMESPACE", "");
        EXPECT_EQ(object_name(NamedObject::Pipe), "@ZelvanTTSBridge");
    }
    {
        ScopedEnv env("ZELVAN_TTS_NAMESPACE", "t1");
        EXPECT_EQ(object_name(NamedObject::Pipe), "@ZelvanTTSBridge.t1");
        EXPECT_EQ(object_name(NamedObject::ServerMutex), "@ZelvanTTSServerMutex.t1");
        EXPECT_EQ(object_name(NamedObject::ConfigChanged),
                  "/ZelvanTTSConfigChanged." + uid + ".t1");
        EXPECT_EQ(namespaced_name("x"), "x.t1");
    }
}

TEST(ModelPathSetting, UnsetIsAbsentAndEmptyIsAnEmptyPath) {
    {
        ScopedEnv env("ZELVAN_TTS_MODEL_PATH", nullptr);
        EXPECT_FALSE(read_model_path_setting().has_value());
    }
    {
        ScopedEnv env("ZELVAN_TTS_MODEL_PATH", "");
        EXPECT_EQ(read_model_path_setting(), std::optional<std::string>(""));
    }
    {
        ScopedEnv env("ZELVAN_TTS_MODEL_PATH", "/opt/модели");
        EXPECT_EQ(read_model_path_setting(), std::optional<std::string>("/opt/модели"));
    }
}

TEST(Utf8Path, NonAsciiPathsReachTheFileSystem) {
    const std::string dir = path_to_utf8(std::filesystem::temp_directory_path()) + "/zelvan_путь_" +
                            std::to_string(getpid());
    const auto native = path_from_utf8(dir);
    std::filesystem::create_directories(native);
    { std::ofstream(path_from_utf8(dir + "/файл.bin")) << "x"; }
    EXPECT_TRUE(std::filesystem::exists(native / path_from_utf8("файл.bin")));
    EXPECT_EQ(path_to_utf8(native / "a"), dir + "/a");
    std::filesystem::remove_all(native);
}

TEST(ModuleFile, IsTheProgramOrTheLibraryThatHoldsTheCode) {
    EXPECT_EQ(running_module_file(), std::filesystem::canonical("/proc/self/exe"));

    void* library = dlopen(PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using Probe = void (*)(char*, size_t);
    auto probe = reinterpret_cast<Probe>(dlsym(library, "zelvan_probe_module_file"));
    ASSERT_NE(probe, nullptr);
    char buffer[4096];
    probe(buffer, sizeof buffer);
    EXPECT_EQ(std::filesystem::path(buffer), std::filesystem::canonical(PROBE_LIBRARY));
    dlclose(library);
}

TEST(AppData, XdgConfigHomeThenHomeThenNothing) {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/x/config");
    ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(app_data_dir(), std::filesystem::path("/x/config"));
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(app_data_dir(), std::filesystem::path("/home/u/.config"));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(app_data_dir(), std::filesystem::path("/home/u/.config"));
    unsetenv("HOME");
    EXPECT_FALSE(app_data_dir().has_value());
}

TEST(NamedSignal, HoldsAtMostOnePendingSignalSharedByName) {
    const std::string name = namespaced_name("/ZelvanTTSSignalTest." + std::to_string(getpid()));
    auto a = NamedSignal::create_or_open(name);
    auto b = NamedSignal::create_or_open(name);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(a->test_and_consume());
    a->set();
    a->set();
    EXPECT_TRUE(b->test_and_consume());
    EXPECT_FALSE(a->test_and_consume()) << "two sets leave one signal";
    EXPECT_FALSE(b->test_and_consume());

    // Another process sees the same signal.
    a->set();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto c = NamedSignal::create_or_open(name);
        _exit(c && c->test_and_consume() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(a->test_and_consume()) << "the other process consumed it";
    sem_unlink(name.c_str());

    EXPECT_EQ(NamedSignal::create_or_open("no/slashes/allowed"), nullptr);
}

}  // namespace
}  // namespace zelvan_tts
