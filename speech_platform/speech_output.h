// What zelvan_tts_sapi_say writes: the audio as a WAV file and the events
// as a JSON array.
#pragma once

#include "speech_platform/engine_site.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelvan_tts::speech_platform {

// 16-bit mono PCM. Throws std::runtime_error when the file cannot be written.
void write_wav(const std::string& path, const std::vector<std::uint8_t>& pcm, unsigned sample_rate);

// [{"event": "bookmark"|"sentence"|"word", "offset": BYTES, "wparam": N,
//   "lparam": N or "NAME"}, ...] in the order sent; other events are left out.
std::string events_json(const std::vector<recorded_event>& events);

}  // namespace zelvan_tts::speech_platform
