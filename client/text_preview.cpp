#include "client/text_preview.h"

#include "engine/text_chunks.h"
#include "shared/symbols/code_points.h"
#include "shared/symbols/speakers.h"
#include "shared/symbols/symbols.h"

#include <nlohmann/json.hpp>

namespace zelvan_tts {

TextPreview preview_text(TextSteps texts, int voice) {
    TextPreview p;
    p.voice = voice;
    p.lang = speakers.at(static_cast<std::size_t>(voice)).lang;
    p.texts = std::move(texts);
    for (std::string& chunk : split_into_chunks(p.texts.script, kMaxChunkChars)) {
        if (chunk.empty()) continue;
        p.ids.push_back(
            encode_text(chunk, SymbolMap::instance(),
                        [&](const std::string& chars, int) { p.unmapped.push_back(chars); }));
        p.chunks.push_back(std::move(chunk));
    }
    return p;
}

std::string preview_json(const TextPreview& p) {
    const nlohmann::json object = {
        {"voice", p.voice},           {"lang", p.lang},
        {"numbers", p.texts.numbers}, {"dictionary", p.texts.dictionary},
        {"homographs", p.texts.homographs},
        {"stress", p.texts.stress},   {"script", p.texts.script},
        {"chunks", p.chunks},         {"ids", p.ids},
        {"unmapped", p.unmapped},
    };
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string preview_plain(const TextPreview& p) {
    const SpeakerInfo& s = speakers.at(static_cast<std::size_t>(p.voice));
    std::string out = "voice:      " + std::to_string(p.voice) + " " + s.speaker_name + " (" +
                      utf16_to_utf8(s.display_name) + ", " + p.lang + ")\n";
    out += "numbers:    " + p.texts.numbers + "\n";
    out += "dictionary: " + p.texts.dictionary + "\n";
    out += "homographs: " + p.texts.homographs + "\n";
    out += "stress:     " + p.texts.stress + "\n";
    out += "script:     " + p.texts.script + "\n";
    for (std::size_t k = 0; k < p.chunks.size(); ++k) {
        out += "chunk " + std::to_string(k + 1) + ":    " + p.chunks[k] + "\n";
        out += "  ids:      ";
        for (std::size_t j = 0; j < p.ids[k].size(); ++j) {
            out += (j ? " " : "") + std::to_string(p.ids[k][j]);
        }
        out += "\n";
    }
    for (const std::string& chars : p.unmapped) out += "unmapped:   " + chars + "\n";
    return out;
}

}  // namespace zelvan_tts
