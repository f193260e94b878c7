// The voice-token enumerator the platform creates from the TokenEnums key:
// one token per voice of the table, made afresh on every request.
#pragma once

#include "com/sdk.h"
#include "com/wide_string.h"

#include <cstdint>
#include <vector>

namespace zelvan_tts::sapi {

// 0, 1, ..., 59.
std::vector<std::int32_t> all_voices();

class IEnumSpObjectTokensImpl : public IEnumSpObjectTokens {
public:
    explicit IEnumSpObjectTokensImpl(std::vector<std::int32_t> voices = all_voices(),
                                     std::uint32_t position = 0)
        : voices_(std::move(voices)), position_(position) {}
    virtual ~IEnumSpObjectTokensImpl() = default;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, ISpObjectToken** tokens, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumSpObjectTokens** clone) override;
    HRESULT STDMETHODCALLTYPE Item(ULONG index, ISpObjectToken** token) override;
    HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) override;

protected:
    void* interface_for(REFIID riid);

private:
    std::uint32_t count() const { return static_cast<std::uint32_t>(voices_.size()); }

    const std::vector<std::int32_t> voices_;
    std::uint32_t position_;
};

}  // namespace zelvan_tts::sapi
