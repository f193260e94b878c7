#include "speech_platform/speech_output.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <stdexcept>

namespace zelvan_tts::speech_platform {

namespace {

void put32(std::ofstream& out, std::uint32_t v) {
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    out.write(b, 4);
}

void put16(std::ofstream& out, std::uint16_t v) {
    const char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
    out.write(b, 2);
}

}  // namespace

void write_wav(const std::string& path, const std::vector<std::uint8_t>& pcm,
               unsigned sample_rate) {
    // A stray odd byte of an aborted write is not a sample.
    const auto data_size = static_cast<std::uint32_t>(pcm.size() & ~std::size_t{1});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot write " + path);
    out.write("RIFF", 4);
    put32(out, 36 + data_size);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);
    put16(out, 1);
    put32(out, sample_rate);
    put32(out, sample_rate * 2);
    put16(out, 2);
    put16(out, 16);
    out.write("data", 4);
    put32(out, data_size);
    out.write(reinterpret_cast<const char*>(pcm.data()), data_size);
    out.flush();
    if (!out) throw std::runtime_error("Cannot write " + path);
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
