// The voice-engine library as the tests use it: a copy of the built library
// in a directory of its own (so that its module-relative models directory is
// the test's), loaded once, registered in a test registry, with a test voice
// model as the installation's models root.
#pragma once

#include "com/com_ptr.h"
#include "com/sdk.h"
#include "speech_platform/engine_site.h"
#include "speech_platform/plugin.h"
#include "speech_platform/text_fragments.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zelvan_tts::sapi_test {

struct test_dirs {
    std::filesystem::path base;
    std::filesystem::path library;      // the copied library
    std::filesystem::path models_root;  // holds multivoice_base.bin
    std::filesystem::path registry;     // the registry file
};

const test_dirs& dirs();
speech_platform::plugin& engine_library();

// Polls `condition` until it holds or 60 s pass.
bool eventually(const std::function<bool()>& condition);

// DllCanUnloadNow once preload threads have finished.
bool library_idle();

// A new engine with the token of voice `index` from the registered enumerator.
com::ptr<ISpTTSEngine> make_engine(int index);

// A token made by the platform over a data key whose Attributes key holds
// SpeakerId = `speaker_id` (no SpeakerId value when null; no Attributes key
// at all when `with_attributes` is false).
com::ptr<ISpObjectToken> make_custom_token(const char* speaker_id, bool with_attributes = true);

// The voice a Speak of the test model used, read from its first sample.
int voice_of(const std::vector<std::uint8_t>& audio);

// 16-bit samples of recorded audio.
std::vector<std::int16_t> samples_of(const std::vector<std::uint8_t>& audio);

// Speaks plain text (one fragment at source offset 0).
HRESULT speak_text(ISpTTSEngine* engine, const std::string& text,
                   speech_platform::engine_site& site);

}  // namespace zelvan_tts::sapi_test
