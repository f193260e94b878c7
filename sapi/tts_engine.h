// The speech engine object the platform creates for a voice token: learns its
// voice from the token and speaks fragment lists into an output site.
#pragma once

#include "com/sdk.h"
#include "sapi/tts_base.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace zelvan_tts::sapi {

// The voice a token's Attributes\SpeakerId names, clamped to 0..59; 0 when
// the value is missing or has no number.
std::int32_t speaker_id_from_text(const std::string& text);

class ISpTTSEngineImpl : public ISpTTSEngine, public ISpObjectWithToken, public tts_base {
public:
    ISpTTSEngineImpl() = default;
    virtual ~ISpTTSEngineImpl();

    HRESULT STDMETHODCALLTYPE Speak(DWORD flags, REFGUID format_id, const WAVEFORMATEX* wave_format,
                                    const SPVTEXTFRAG* fragments, ISpTTSEngineSite* site) override;
    HRESULT STDMETHODCALLTYPE GetOutputFormat(const GUID* target_format_id,
                                              const WAVEFORMATEX* target_wave_format,
                                              GUID* format_id, WAVEFORMATEX** wave_format) override;
    HRESULT STDMETHODCALLTYPE SetObjectToken(ISpObjectToken* token) override;
    HRESULT STDMETHODCALLTYPE GetObjectToken(ISpObjectToken** token) override;

protected:
    void* interface_for(REFIID riid);

private:
    HRESULT speak(const SPVTEXTFRAG* fragments, ISpTTSEngineSite* site);

    std::mutex token_mutex_;
    ISpObjectToken* token_ = nullptr;
    std::int32_t speaker_id_ = 0;
};

// Starts loading the model on a detached thread; failures are dropped and
// the next synthesis tries again. The library counts the thread as a live
// object so that it is not unloaded under it.
void start_preload();

// Waits for the preload threads still running code of this library; called
// when the library is unloaded (Windows threads hold the library themselves).
void finish_preloads() noexcept;

}  // namespace zelvan_tts::sapi
