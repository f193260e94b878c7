#include "sapi/token_enumerator.h"

#include "com/com_error.h"
#include "com/iunknown_impl.h"
#include "sapi/voice_token.h"
#include "shared/symbols/speakers.h"

#include <algorithm>

namespace zelvan_tts::sapi {

std::vector<std::int32_t> all_voices() {
    std::vector<std::int32_t> voices(speakers.size());
    for (std::size_t i = 0; i < voices.size(); ++i) voices[i] = static_cast<std::int32_t>(i);
    return voices;
}

HRESULT IEnumSpObjectTokensImpl::Next(ULONG count_wanted, ISpObjectToken** tokens, ULONG* fetched) {
    if (count_wanted == 0) return E_INVALIDARG;
    if (tokens == nullptr) return E_POINTER;
    if (fetched != nullptr) *fetched = 0;
    if (fetched == nullptr && count_wanted > 1) return E_POINTER;

    const std::uint32_t end = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(count(), std::uint64_t{position_} + count_wanted));
    ULONG made = 0;
    const HRESULT hr = com::guarded([&] {
        for (std::uint32_t i = position_; i < end; ++i) {
            tokens[made] = make_voice_token(voices_[i]);
            ++made;
        }
        return S_OK;
    });
    if (FAILED(hr)) {
        // Nothing of a failed call stays with the caller.
        for (ULONG i = 0; i < made; ++i) {
            tokens[i]->Release();
            tokens[i] = nullptr;
        }
        return hr;
    }
    position_ += made;
    if (fetched != nullptr) *fetched = made;
    return made == count_wanted ? S_OK : S_FALSE;
}

HRESULT IEnumSpObjectTokensImpl::Skip(ULONG count_wanted) {
    const std::uint32_t step = std::min<std::uint32_t>(count_wanted, count() - position_);
    position_ += step;
    return step == count_wanted ? S_OK : S_FALSE;
}

HRESULT IEnumSpObjectTokensImpl::Reset() {
    position_ = 0;
    return S_OK;
}

HRESULT IEnumSpObjectTokensImpl::Clone(IEnumSpObjectTokens** clone) {
    if (clone == nullptr) return E_POINTER;
    *clone = nullptr;
    return com::guarded([&] {
        return com::create_and_query<IEnumSpObjectTokensImpl>(
            IID_IEnumSpObjectTokens, reinterpret_cast<void**>(clone), voices_, position_);
    });
}

HRESULT IEnumSpObjectTokensImpl::Item(ULONG index, ISpObjectToken** token) {
    if (token == nullptr) return E_POINTER;
    *token = nullptr;
    if (index >= count()) return SPERR_NO_MORE_ITEMS;
    return com::guarded([&] {
        *token = make_voice_token(voices_[index]);
        return S_OK;
    });
}

HRESULT IEnumSpObjectTokensImpl::GetCount(ULONG* count_out) {
    if (count_out == nullptr) return E_POINTER;
    *count_out = count();
    return S_OK;
}

void* IEnumSpObjectTokensImpl::interface_for(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IEnumSpObjectTokens) {
        return static_cast<IEnumSpObjectTokens*>(this);
    }
    return nullptr;
}

}  // namespace zelvan_tts::sapi
