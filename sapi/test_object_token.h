// A stand-in for the speech platform's object token (CLSID_SpObjectToken)
// for the Windows tests. Wine's token has no ISpObjectTokenInit, so the voice
// tokens of the enumerator cannot be made on it; while a test_token_class
// lives, this class takes the platform's place in the calling process and
// answers as the platform's token does: from the data key it was initialised
// with.
#pragma once

#include "com/sdk.h"

#include <string>

namespace zelvan_tts::sapi_test {

// Registers the stand-in as CLSID_SpObjectToken for this process
// (CoRegisterClassObject) and revokes it again.
class test_token_class {
public:
    test_token_class();
    ~test_token_class();
    test_token_class(const test_token_class&) = delete;
    test_token_class& operator=(const test_token_class&) = delete;

    bool registered() const { return cookie_ != 0; }

    // Stand-in tokens alive in the process.
    static long live_tokens();

private:
    DWORD cookie_ = 0;
};

// The identifier and category a token was initialised with (GetId; the
// category as the stand-in keeps it); empty for any other token.
std::wstring token_id(ISpObjectToken* token);
std::wstring token_category(ISpObjectToken* token);

// Whether the platform's own token object (Wine's, when no stand-in is
// registered) offers ISpObjectTokenInit.
bool platform_token_has_init();

}  // namespace zelvan_tts::sapi_test
