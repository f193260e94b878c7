#include "http/speech_request.h"

#include "http/voice_catalog.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <utility>

namespace zelvan_tts {

namespace {

constexpr float kMinSpeed = 0.25f;
constexpr float kMaxSpeed = 4.0f;

// OpenAI-compatible clients offer their own voice names, often without a
// way to type another: each stands for a Russian voice of the same kind.
constexpr std::pair<const char*, const char*> kOpenAiVoices[] = {
    {"alloy", "ru_azat"},  {"echo", "ru_rustem"}, {"fable", "ru_taras"},
    {"onyx", "ru_ural"},   {"nova", "ru_alsu"},   {"shimmer", "ru_oksana"},
    {"ash", "ru_aibek"},   {"ballad", "ru_farhod"}, {"coral", "ru_zarina"},
    {"sage", "ru_dilnoza"}, {"verse", "ru_nurlan"},
};

RequestError bad(std::string code, std::string param, std::string message, int status = 400) {
    return {status, std::move(code), std::move(param), std::move(message)};
}

std::size_t utf8_chars(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

bool blank(std::string_view s) {
    for (unsigned char c : s)
        if (!std::isspace(c)) return false;
    return true;
}

// Checks shared by both shapes; fills the job's text and SSML flag.
RequestError check_text(const std::string& text, std::size_t max_chars, SpeechJob* job) {
    if (blank(text)) return bad("empty_input", "input", "The text to speak is empty.");
    if (utf8_chars(text) > max_chars)
        return bad("input_too_long", "input",
                   "The text is longer than " + std::to_string(max_chars) + " characters.");
    job->text = text;
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    job->ssml = text.compare(start, 6, "<speak") == 0 || text.compare(start, 5, "<?xml") == 0;
    return {};
}

RequestError check_voice(const std::string& name, SpeechJob* job) {
    job->voice = find_voice_by_name(name);
    if (job->voice < 0)
        return bad("unknown_voice", "voice",
                   "No voice \"" + name + "\"; GET /v1/voices lists them.");
    return {};
}

RequestError check_speed(double speed, SpeechJob* job) {
    if (!std::isfinite(speed) || speed < kMinSpeed || speed > kMaxSpeed)
        return bad("invalid_speed", "speed", "The speed must be between 0.25 and 4.");
    job->speed = static_cast<float>(speed);
    return {};
}

RequestError check_format(const std::string& name, SpeechJob* job) {
    const auto format = audio_format_from_name(name);
    if (!format)
        return bad("unsupported_format", "response_format",
                   "No audio format \"" + name + "\"; wav, pcm, mp3, opus or flac.");
    job->format = *format;
    return {};
}

RequestError check_rate(long rate, SpeechJob* job) {
    if (rate < 8000 || rate > 48000)
        return bad("invalid_sample_rate", "sample_rate",
                   "The sample rate must be between 8000 and 48000.");
    job->sample_rate = audio_format_rate(job->format, static_cast<int>(rate));
    return {};
}

}  // namespace

ParsedSpeech parse_openai_speech(std::string_view body, std::size_t max_text_chars) {
    ParsedSpeech p;
    SpeechJob& job = p.job;
    const nlohmann::json request = nlohmann::json::parse(body, nullptr, false);
    if (request.is_discarded() || !request.is_object()) {
        p.error = bad("invalid_json", "", "The body is not a JSON object.");
        return p;
    }
    // A field that is missing or null keeps `*out`; one of another type is an error.
    auto field = [&](const char* name, auto* out) -> bool {
        using T = std::remove_pointer_t<decltype(out)>;
        constexpr bool text = std::is_same_v<T, std::string>;
        const auto it = request.find(name);
        if (it == request.end() || it->is_null()) return true;
        if (text ? !it->is_string() : !it->is_number()) {
            p.error = bad("invalid_type", name,
                          std::string("\"") + name + (text ? "\" must be a string." : "\" must be a number."));
            return false;
        }
        *out = it->template get<T>();
        return true;
    };
    std::string input, voice = "ru_azat", format = "mp3", model;
    double speed = 1.0, rate = 0.0;
    if (!field("model", &model) || !field("voice", &voice) || !field("response_format", &format) ||
        !field("speed", &speed) || !field("sample_rate", &rate))
        return p;
    if (request.find("input") == request.end()) {
        p.error = bad("missing_input", "input", "\"input\" is required: the text to speak.");
        return p;
    }
    if (!field("input", &input)) return p;
    for (const auto& [openai, ours] : kOpenAiVoices)
        if (voice == openai) voice = ours;
    RequestError e = check_text(input, max_text_chars, &job);
    if (e.status == 0) e = check_voice(voice, &job);
    if (e.status == 0) e = check_speed(speed, &job);
    if (e.status == 0) e = check_format(format, &job);
    if (e.status == 0 && rate != 0.0) e = check_rate(std::lround(rate), &job);
    else if (e.status == 0) job.sample_rate = job.format == AudioFormat::Pcm ? 24000 : 48000;
    p.error = e;
    return p;
}

ParsedSpeech parse_query_speech(const std::multimap<std::string, std::string>& query,
                                std::size_t max_text_chars) {
    ParsedSpeech p;
    SpeechJob& job = p.job;
    auto get = [&](const char* name) -> const std::string* {
        const auto it = query.find(name);
        return it == query.end() ? nullptr : &it->second;
    };
    const std::string* text = get("text");
    if (text == nullptr) {
        p.error = bad("missing_input", "text", "The query needs text=...");
        return p;
    }
    RequestError e = check_text(*text, max_text_chars, &job);
    if (e.status == 0 && get("voice") != nullptr) {
        e = check_voice(*get("voice"), &job);
    } else if (e.status == 0 && get("lang") != nullptr) {
        job.voice = find_voice_by_language(*get("lang"));
        if (job.voice < 0)
            e = bad("unknown_language", "lang", "No voice speaks \"" + *get("lang") + "\".");
    }
    auto number = [&](const char* name, double* out) {
        const std::string* v = get(name);
        if (v == nullptr) return true;
        char* end = nullptr;
        *out = std::strtod(v->c_str(), &end);
        return !v->empty() && *end == '\0';
    };
    double speed = 1.0, rate = 48000;
    if (e.status == 0 && !number("speed", &speed)) e = bad("invalid_speed", "speed", "The speed must be a number.");
    if (e.status == 0) e = check_speed(speed, &job);
    if (e.status == 0) e = check_format(get("format") ? *get("format") : "wav", &job);
    if (e.status == 0 && !number("rate", &rate))
        e = bad("invalid_sample_rate", "rate", "The rate must be a number.");
    if (e.status == 0) e = check_rate(std::lround(rate), &job);
    p.error = e;
    return p;
}

std::string error_json(const RequestError& error) {
    nlohmann::json j;
    j["error"] = {{"message", error.message},
                  {"type", error.status >= 500 ? "server_error" : "invalid_request_error"},
                  {"code", error.code},
                  {"param", error.param.empty() ? nlohmann::json() : nlohmann::json(error.param)}};
    return j.dump();
}

}  // namespace zelvan_tts
