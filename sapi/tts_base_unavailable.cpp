// The engine host of a build without LibTorch (tts_base.cpp needs it): the
// same interface with no model behind it. Loading and every synthesis fail,
// so Speak answers E_UNEXPECTED exactly as it does when the model is missing,
// while the rest of the COM server (class objects, registration, voice
// tokens, the engine's token handling) works unchanged.
#include "sapi/tts_base.h"

#include <stdexcept>

namespace zelvan_tts::sapi {

namespace {

[[noreturn]] void synthesis_unavailable() {
    throw std::runtime_error("Synthesis is not available: this build has no LibTorch");
}

}  // namespace

std::mutex& tts_base::engine_mutex() {
    static std::mutex mutex;
    return mutex;
}

void tts_base::initialize() { synthesis_unavailable(); }

void tts_base::shutdown() noexcept {}

bool tts_base::loaded() { return false; }

bool tts_base::synthesize(const std::string&, std::int32_t, float, float, float, const block_sink&,
                          std::vector<WordTimestamp>*) {
    synthesis_unavailable();
}

bool synthesize_to_int16(const std::string&, std::int32_t, float, float, float,
                         std::vector<std::int16_t>&, std::vector<WordTimestamp>*) {
    synthesis_unavailable();
}

}  // namespace zelvan_tts::sapi
