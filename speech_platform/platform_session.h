// The platform's side of speaking with a registered voice engine: find the
// token enumerator through the registry, list the voices, create the engine
// for a token and have it speak into a site.
#pragma once

#include "com/com_ptr.h"
#include "com/sdk.h"
#include "com/wide_string.h"
#include "speech_platform/engine_site.h"
#include "speech_platform/plugin.h"

#include <string>
#include <vector>

namespace zelvan_tts::speech_platform {

// "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Speech\Voices\TokenEnums".
extern const char* const kTokenEnumsKey;

// The braced form of a CLSID and back; parse throws std::runtime_error.
std::string clsid_text(const CLSID& clsid);
CLSID parse_clsid(const std::string& text);

// A new object of `clsid` from the library that the registry names as its
// in-process server, which must be `engine`. Throws std::runtime_error.
com::ptr<IUnknown> create_registered_object(const plugin& engine, const CLSID& clsid, REFIID riid);

// The enumerators of every TokenEnums entry served by `engine`.
std::vector<com::ptr<IEnumSpObjectTokens>> open_token_enumerators(const plugin& engine);

// Every token of the enumerators, in order.
std::vector<com::ptr<ISpObjectToken>> list_voice_tokens(const plugin& engine);

// A token's default value (its display name); empty when it has none.
com::wstring token_display_name(ISpObjectToken* token);

// The engine for a token: the class its CLSID value names, given the token.
com::ptr<ISpTTSEngine> create_engine(const plugin& engine, ISpObjectToken* token);

// GetOutputFormat, checked to be 16-bit mono PCM, then Speak. Returns the
// result of Speak; throws std::runtime_error when the format is unusable.
HRESULT speak(ISpTTSEngine* engine, const SPVTEXTFRAG* fragments, engine_site& site,
              unsigned* sample_rate);

}  // namespace zelvan_tts::speech_platform
