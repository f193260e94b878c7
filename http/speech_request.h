// What a client asks for, read from the two request shapes (the JSON body
// of POST /v1/audio/speech, the query of GET /api/tts) and checked: a job
// to speak, or the 4xx answer that says what is wrong.
#pragma once

#include "audio/audio_encoding.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace zelvan_tts {

struct SpeechJob {
    std::string text;
    int voice = 20;
    float speed = 1.0f;
    bool ssml = false;  // the text is an SSML document (<speak>...)
    AudioFormat format = AudioFormat::Wav;
    int sample_rate = 48000;
};

struct RequestError {
    int status = 0;        // 0: no error
    std::string code;      // "unknown_voice"
    std::string param;     // the field at fault, or ""
    std::string message;   // for a person
};

struct ParsedSpeech {
    SpeechJob job;
    RequestError error;
};

// {"model", "input", "voice", "response_format", "speed", "sample_rate"}.
// The format defaults to mp3 and raw PCM to 24 kHz, as OpenAI-compatible
// clients expect; "model" is accepted and ignored; OpenAI's voice names
// (alloy, echo, fable, onyx, nova, shimmer, ash, ballad, coral, sage, verse)
// stand for Russian voices.
ParsedSpeech parse_openai_speech(std::string_view body, std::size_t max_text_chars);

// text, voice (or lang), format (default wav), speed, rate.
ParsedSpeech parse_query_speech(const std::multimap<std::string, std::string>& query,
                                std::size_t max_text_chars);

// {"error": {"message", "type", "code", "param"}}, the shape OpenAI clients read.
std::string error_json(const RequestError& error);

}  // namespace zelvan_tts
