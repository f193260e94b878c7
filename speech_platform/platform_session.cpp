#include "speech_platform/platform_session.h"

#include "com/out_ptr.h"
#include "speech_platform/registry_store.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace zelvan_tts::speech_platform {

const char* const kTokenEnumsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\TokenEnums";

namespace {

std::string hresult_text(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::string clsid_text(const CLSID& clsid) {
    LPWSTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text)) || text == nullptr) {
        throw std::runtime_error("Cannot format a CLSID");
    }
    const std::string out = com::to_utf8(text);
    CoTaskMemFree(text);
    return out;
}

CLSID parse_clsid(const std::string& text) {
    CLSID clsid{};
    unsigned d1 = 0, d2 = 0, d3 = 0, b[8] = {};
    int consumed = 0;
    if (text.size() != 38 ||
        std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &d1, &d2, &d3, &b[0],
                    &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &consumed) != 11 ||
        consumed != 38) {
        throw std::runtime_error("Not a CLSID: " + text);
    }
    clsid.Data1 = d1;
    clsid.Data2 = static_cast<std::uint16_t>(d2);
    clsid.Data3 = static_cast<std::uint16_t>(d3);
    for (int i = 0; i < 8; ++i) clsid.Data4[i] = static_cast<std::uint8_t>(b[i]);
    return clsid;
}

com::ptr<IUnknown> create_registered_object(const plugin& engine, const CLSID& clsid, REFIID riid) {
    const std::string name = clsid_text(clsid);
    const auto server = registry_value(
        "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\" + name + "\\InProcServer32", "");
    if (!server) throw std::runtime_error("Class not registered: " + name);
    if (!same_file(*server, engine.path())) {
        throw std::runtime_error("Class " + name + " is served by " + *server +
                                 ", not by the loaded voice engine");
    }
    com::ptr<IClassFactory> factory;
    HRESULT hr = engine.DllGetClassObject(clsid, IID_IClassFactory, factory.receive_void());
    if (FAILED(hr)) throw std::runtime_error("DllGetClassObject failed: " + hresult_text(hr));
    com::ptr<IUnknown> object;
    hr = factory->CreateInstance(nullptr, riid, object.receive_void());
    if (FAILED(hr)) throw std::runtime_error("CreateInstance failed: " + hresult_text(hr));
    return object;
}

std::vector<com::ptr<IEnumSpObjectTokens>> open_token_enumerators(const plugin& engine) {
    std::vector<com::ptr<IEnumSpObjectTokens>> out;
    for (const auto& entry : registry_subkeys(kTokenEnumsKey)) {
        const auto clsid = registry_value(std::string(kTokenEnumsKey) + "\\" + entry, "CLSID");
        if (!clsid) continue;
        auto object =
            create_registered_object(engine, parse_clsid(*clsid), IID_IEnumSpObjectTokens);
        out.emplace_back(reinterpret_cast<IEnumSpObjectTokens*>(object.detach()));
    }
    return out;
}

std::vector<com::ptr<ISpObjectToken>> list_voice_tokens(const plugin& engine) {
    std::vector<com::ptr<ISpObjectToken>> tokens;
    for (auto& enumerator : open_token_enumerators(engine)) {
        ULONG count = 0;
        if (FAILED(enumerator->GetCount(&count))) continue;
        for (;;) {
            ISpObjectToken* token = nullptr;
            ULONG fetched = 0;
            const HRESULT hr = enumerator->Next(1, &token, &fetched);
            if (FAILED(hr)) throw std::runtime_error("Next failed: " + hresult_text(hr));
            if (fetched == 0) break;
            tokens.emplace_back(token);
        }
    }
    return tokens;
}

com::wstring token_display_name(ISpObjectToken* token) {
    utils::out_ptr name(&CoTaskMemFree);
    if (FAILED(token->GetStringValue(nullptr, name.receive())) || name.get() == nullptr) return {};
    return name.get();
}

com::ptr<ISpTTSEngine> create_engine(const plugin& engine, ISpObjectToken* token) {
    utils::out_ptr clsid(&CoTaskMemFree);
    if (FAILED(token->GetStringValue(com::to_wide("CLSID").c_str(), clsid.receive())) ||
        clsid.get() == nullptr) {
        throw std::runtime_error("The voice token names no engine class");
    }
    auto object =
        create_registered_object(engine, parse_clsid(com::to_utf8(clsid.get())), IID_ISpTTSEngine);
    com::ptr<ISpTTSEngine> tts(reinterpret_cast<ISpTTSEngine*>(object.detach()));
    com::ptr<ISpObjectWithToken> with_token;
    HRESULT hr = tts->QueryInterface(IID_ISpObjectWithToken, with_token.receive_void());
    if (SUCCEEDED(hr)) hr = with_token->SetObjectToken(token);
    if (FAILED(hr)) throw std::runtime_error("SetObjectToken failed: " + hresult_text(hr));
    return tts;
}

HRESULT speak(ISpTTSEngine* engine, const SPVTEXTFRAG* fragments, engine_site& site,
              unsigned* sample_rate) {
    GUID format_id{};
    WAVEFORMATEX* format = nullptr;
    const HRESULT hr = engine->GetOutputFormat(&SPDFID_WaveFormatEx, nullptr, &format_id, &format);
    if (FAILED(hr) || format == nullptr) {
        throw std::runtime_error("GetOutputFormat failed: " + hresult_text(hr));
    }
    const WAVEFORMATEX copy = *format;
    CoTaskMemFree(format);
    if (format_id != SPDFID_WaveFormatEx || copy.wFormatTag != WAVE_FORMAT_PCM ||
        copy.nChannels != 1 || copy.wBitsPerSample != 16) {
        throw std::runtime_error(
            "The voice engine offers an audio format other than 16-bit mono PCM");
    }
    if (sample_rate != nullptr) *sample_rate = copy.nSamplesPerSec;
    return engine->Speak(0, format_id, &copy, fragments, &site);
}

}  // namespace zelvan_tts::speech_platform
