// The output site a Speak call writes into: keeps the audio and the events,
// tells the engine the rate, volume and event interest, and can ask it to
// abort.
#pragma once

#include "com/sdk.h"
#include "com/wide_string.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zelvan_tts::speech_platform {

struct recorded_event {
    SPEVENTENUM id;
    SPEVENTLPARAMTYPE lparam_type;
    ULONG stream;
    ULONGLONG offset;
    WPARAM wparam;
    LPARAM lparam;             // the number, for all but string events
    com::wstring lparam_text;  // the text, for string events
};

class engine_site : public ISpTTSEngineSite {
public:
    engine_site() = default;
    virtual ~engine_site() = default;

    // What the site tells the engine.
    ULONGLONG interest =
        SPFEI(SPEI_TTS_BOOKMARK) | SPFEI(SPEI_SENTENCE_BOUNDARY) | SPFEI(SPEI_WORD_BOUNDARY);
    LONG rate = 0;
    USHORT volume = 100;
    // When set, GetVolume fails without setting the volume.
    bool volume_fails = false;
    // Called after every accepted write with the bytes written so far.
    std::function<void(std::size_t total)> on_write;
    // Writes fail once this many bytes have been taken.
    std::optional<std::size_t> write_limit;

    void request_abort() { abort_.store(true); }

    std::vector<std::uint8_t> audio() const;
    std::vector<recorded_event> events() const;
    std::vector<ULONG> write_sizes() const;
    // GetActions calls so far.
    int action_polls() const { return polls_.load(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override;
    HRESULT STDMETHODCALLTYPE GetEventInterest(ULONGLONG* interest_out) override;
    DWORD STDMETHODCALLTYPE GetActions() override;
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE GetRate(LONG* rate_adjust) override;
    HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume_out) override;
    HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE* type, LONG* item_count) override;
    HRESULT STDMETHODCALLTYPE CompleteSkip(LONG skipped) override;

private:
    mutable std::mutex mutex_;
    std::vector<std::uint8_t> audio_;
    std::vector<recorded_event> events_;
    std::vector<ULONG> write_sizes_;
    std::atomic<bool> abort_{false};
    std::atomic<int> polls_{0};
};

}  // namespace zelvan_tts::speech_platform
