#include "speech_platform/engine_site.h"

namespace zelvan_tts::speech_platform {

std::vector<std::uint8_t> engine_site::audio() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return audio_;
}

std::vector<recorded_event> engine_site::events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<ULONG> engine_site::write_sizes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return write_sizes_;
}

HRESULT engine_site::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISpEventSink || riid == IID_ISpTTSEngineSite) {
        *object = static_cast<ISpTTSEngineSite*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT engine_site::AddEvents(const SPEVENT* events, ULONG count) {
    if (events == nullptr) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    for (ULONG i = 0; i < count; ++i) {
        const SPEVENT& e = events[i];
        recorded_event r{
            e.eEventId, e.elParamType, e.ulStreamNum, e.ullAudioStreamOffset, e.wParam, e.lParam,
            {}};
        if (e.elParamType == SPET_LPARAM_IS_STRING) {
            // The platform owns the string from now on.
            auto* text = reinterpret_cast<WCHAR*>(e.lParam);
            if (text != nullptr) r.lparam_text = text;
            CoTaskMemFree(text);
            r.lparam = 0;
        }
        events_.push_back(std::move(r));
    }
    return S_OK;
}

HRESULT engine_site::GetEventInterest(ULONGLONG* interest_out) {
    if (interest_out == nullptr) return E_POINTER;
    *interest_out = interest;
    return S_OK;
}

DWORD engine_site::GetActions() {
    polls_.fetch_add(1);
    return abort_.load() ? SPVES_ABORT : SPVES_CONTINUE;
}

HRESULT engine_site::Write(const void* data, ULONG size, ULONG* written) {
    if (written != nullptr) *written = 0;
    if (data == nullptr && size > 0) return E_INVALIDARG;
    std::size_t total = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (write_limit && audio_.size() + size > *write_limit) return E_FAIL;
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        audio_.insert(audio_.end(), bytes, bytes + size);
        write_sizes_.push_back(size);
        total = audio_.size();
    }
    if (written != nullptr) *written = size;
    if (on_write) on_write(total);
    return S_OK;
}

HRESULT engine_site::GetRate(LONG* rate_adjust) {
    if (rate_adjust == nullptr) return E_POINTER;
    *rate_adjust = rate;
    return S_OK;
}

HRESULT engine_site::GetVolume(USHORT* volume_out) {
    if (volume_out == nullptr) return E_POINTER;
    if (volume_fails) return E_FAIL;
    *volume_out = volume;
    return S_OK;
}

HRESULT engine_site::GetSkipInfo(SPVSKIPTYPE*, LONG*) { return E_NOTIMPL; }
HRESULT engine_site::CompleteSkip(LONG) { return E_NOTIMPL; }

}  // namespace zelvan_tts::speech_platform
