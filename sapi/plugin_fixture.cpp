#include "sapi/plugin_fixture.h"

#include "platform/named_signal_cleanup.h"
#include "com/iunknown_impl.h"
#include "sapi/data_key.h"
#include "speech_platform/platform_session.h"
#include "tools/test_models.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace zelvan_tts::sapi_test {

namespace fs = std::filesystem;

namespace {

test_dirs make_dirs() {
    test_dirs d;
    d.base = fs::temp_directory_path() / ("zelvan_sapi_test." + std::to_string(getpid()));
    fs::remove_all(d.base);
    fs::create_directories(d.base / "bin");
    fs::create_directories(d.base / "root");
    fs::create_directories(d.base / "config");
    d.library = d.base / "bin" / "zelvan_tts_sapi.so";
    fs::copy_file(PLUGIN_LIBRARY, d.library);
    d.models_root = d.base / "root";
    d.registry = d.base / "registry.json";
    test_models::write_voice_model((d.models_root / "multivoice_base.bin").string(),
                                   test_models::VoiceModelKind::Timed);
    setenv("ZELVAN_TTS_MODEL_PATH", d.models_root.c_str(), 1);
    setenv("ZELVAN_TTS_REGISTRY", d.registry.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (d.base / "config").c_str(), 1);
    unsetenv("ZELVAN_TTS_DEBUG_LOG");
    return d;
}

class Cleanup : public ::testing::Environment {
public:
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dirs().base, ec);
    }
};
const auto* const cleanup = ::testing::AddGlobalTestEnvironment(new Cleanup);

}  // namespace

const test_dirs& dirs() {
    static const test_dirs d = make_dirs();
    return d;
}

speech_platform::plugin& engine_library() {
    // Loaded for the whole run: the model stays with it.
    static auto* library = [] {
        dirs();
        auto* p = new speech_platform::plugin(dirs().library.string());
        if (p->DllRegisterServer() != S_OK) throw std::runtime_error("registration failed");
        return p;
    }();
    return *library;
}

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool library_idle() {
    return eventually([] { return engine_library().DllCanUnloadNow() == S_OK; });
}

com::ptr<ISpTTSEngine> make_engine(int index) {
    auto tokens = speech_platform::list_voice_tokens(engine_library());
    return speech_platform::create_engine(engine_library(), tokens.at(index).get());
}

namespace {

// A token key whose Attributes subkey is chosen by the test.
class custom_key : public sapi::ISpDataKeyImpl {
public:
    custom_key(sapi::value_map attributes, bool with_attributes)
        : ISpDataKeyImpl(com::to_wide("Custom"), {}),
          attributes_(std::move(attributes)),
          with_attributes_(with_attributes) {}

    HRESULT STDMETHODCALLTYPE OpenKey(LPCWSTR name, ISpDataKey** key) override {
        *key = nullptr;
        if (!with_attributes_ || !com::equal_ignoring_case(name, com::to_wide("Attributes"))) {
            return SPERR_NOT_FOUND;
        }
        return com::create_and_query<sapi::ISpDataKeyImpl>(
            IID_ISpDataKey, reinterpret_cast<void**>(key), com::wstring(), attributes_);
    }

private:
    sapi::value_map attributes_;
    bool with_attributes_;
};

}  // namespace

com::ptr<ISpObjectToken> make_custom_token(const char* speaker_id, bool with_attributes) {
    sapi::value_map attributes;
    if (speaker_id != nullptr) attributes[com::to_wide("SpeakerId")] = com::to_wide(speaker_id);
    com::ptr<ISpDataKey> key;
    {
        com::ptr<com::IUnknownImpl<custom_key>> made(
            new com::IUnknownImpl<custom_key>(attributes, with_attributes));
        made->QueryInterface(IID_ISpDataKey, key.receive_void());
    }
    com::ptr<ISpObjectTokenInit> init;
    EXPECT_EQ(CoCreateInstance(CLSID_SpObjectToken, nullptr, CLSCTX_ALL, IID_ISpObjectTokenInit,
                               init.receive_void()),
              S_OK);
    EXPECT_EQ(init->InitFromDataKey(com::to_wide("category").c_str(), com::to_wide("id").c_str(),
                                    key.get()),
              S_OK);
    com::ptr<ISpObjectToken> token;
    init->QueryInterface(IID_ISpObjectToken, token.receive_void());
    return token;
}

std::vector<std::int16_t> samples_of(const std::vector<std::uint8_t>& audio) {
    std::vector<std::int16_t> samples(audio.size() / 2);
    if (!samples.empty()) std::memcpy(samples.data(), audio.data(), samples.size() * 2);
    return samples;
}

int voice_of(const std::vector<std::uint8_t>& audio) {
    const auto samples = samples_of(audio);
    if (samples.empty()) return -1;
    // The first symbol is the start id 2: 0.002 + speaker * 0.0001.
    const double value = samples[0] / 32767.0;
    return static_cast<int>(std::lround((value - 0.002) / 0.0001));
}

HRESULT speak_text(ISpTTSEngine* engine, const std::string& text,
                   speech_platform::engine_site& site) {
    speech_platform::fragment_list fragments;
    fragments.add(SPVA_Speak, com::to_wide(text), 0);
    return speech_platform::speak(engine, fragments.head(), site, nullptr);
}

}  // namespace zelvan_tts::sapi_test
