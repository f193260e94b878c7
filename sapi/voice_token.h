// The data of one voice's token: the engine class to create, the display
// name and the attributes the platform selects voices by.
#pragma once

#include "com/sdk.h"
#include "sapi/data_key.h"

#include <cstdint>

namespace zelvan_tts::sapi {

// "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Speech\Voices", the voice category.
extern const com::wstring voice_category_id;
// The category followed by "\TokenEnums\ZelvanTTS".
extern const com::wstring enum_id;

// The voice table's display name, or "Speaker <index + 1>" outside it.
com::wstring voice_display_name(std::int32_t index);

class voice_token : public ISpDataKeyImpl {
public:
    explicit voice_token(std::int32_t index);

    HRESULT STDMETHODCALLTYPE OpenKey(LPCWSTR subkey_name, ISpDataKey** subkey) override;
    HRESULT STDMETHODCALLTYPE EnumKeys(ULONG index, LPWSTR* subkey_name) override;

    // Exposed as the subkey "Attributes".
    const value_map attributes;
};

// A platform token for voice `index` that answers from a new voice_token.
// The caller owns the returned reference. Throws std::runtime_error
// "Unable to create an object token" or "Unable to initialize an object
// token", or com::com_error.
ISpObjectToken* make_voice_token(std::int32_t index);

}  // namespace zelvan_tts::sapi
