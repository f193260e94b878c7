#include "speech_platform/speech_output.h"

#include "shared/audio/wav_writer.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace zelvan_tts::speech_platform {

void write_wav(const std::string& path, const std::vector<std::uint8_t>& pcm,
               unsigned sample_rate) {
    try {
        WavWriter wav(path, static_cast<int>(sample_rate));
        wav.write_pcm(pcm.data(), pcm.size());  // a stray odd byte of an aborted write is dropped
        wav.finish();
    } catch (const std::runtime_error&) {
        throw std::runtime_error("Cannot write " + path);
    }
}

std::string events_json(const std::vector<recorded_event>& events) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const auto& e : events) {
        const char* name = e.id == SPEI_TTS_BOOKMARK        ? "bookmark"
                           : e.id == SPEI_SENTENCE_BOUNDARY ? "sentence"
                           : e.id == SPEI_WORD_BOUNDARY     ? "word"
                                                            : nullptr;
        if (name == nullptr) continue;
        nlohmann::ordered_json item;
        item["event"] = name;
        item["offset"] = e.offset;
        item["wparam"] = static_cast<std::uint64_t>(e.wparam);
        if (e.lparam_type == SPET_LPARAM_IS_STRING) {
            item["lparam"] = com::to_utf8(e.lparam_text);
        } else {
            item["lparam"] = static_cast<std::int64_t>(e.lparam);
        }
        array.push_back(std::move(item));
    }
    return array.dump(2) + "\n";
}

}  // namespace zelvan_tts::speech_platform
