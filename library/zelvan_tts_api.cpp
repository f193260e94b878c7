// The C interface of libzelvan_tts over the Engine class: arguments checked
// at the border, every exception turned into a status and a message for the
// calling thread, nothing thrown across it.
#include "zelvan_tts.h"

#include "engine/engine.h"
#include "engine/model_constants.h"
#include "shared/symbols/code_points.h"
#include "shared/symbols/speakers.h"
#include "text/ssml.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

struct zelvan_tts_engine {
    explicit zelvan_tts_engine(zelvan_tts::EngineOptions options) : engine(std::move(options)) {}
    zelvan_tts::Engine engine;
};

namespace {

using namespace zelvan_tts;

thread_local std::string last_error;

zelvan_tts_status fail(zelvan_tts_status status, const std::string& message) {
    last_error = message;
    return status;
}

// Runs `work`, turning what it throws into a status: failures of loading or
// of the voice model are the model's; anything else is internal.
template <typename Work>
zelvan_tts_status guarded(Work work) {
    last_error.clear();
    try {
        return work();
    } catch (const ModelNotFound& e) {
        return fail(ZELVAN_TTS_MODEL_NOT_FOUND, e.what());
    } catch (const std::bad_alloc&) {
        return fail(ZELVAN_TTS_INTERNAL_ERROR, "Out of memory");
    } catch (const SsmlRefused& e) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, e.what());
    } catch (const std::out_of_range& e) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, e.what());
    } catch (const std::exception& e) {
        return fail(ZELVAN_TTS_MODEL_FAILED, e.what());
    } catch (...) {
        return fail(ZELVAN_TTS_INTERNAL_ERROR, "Unknown error");
    }
}

// The voice table with UTF-8 display names, made once.
struct VoiceTexts {
    std::array<std::string, kSpeakerTableSize> display;
};

const VoiceTexts& voice_texts() {
    static const VoiceTexts texts = [] {
        VoiceTexts t;
        for (std::size_t i = 0; i < kSpeakerTableSize; ++i) {
            t.display[i] = utf16_to_utf8(speakers[i].display_name);
        }
        return t;
    }();
    return texts;
}

bool same_letters(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool valid_mode(zelvan_tts_stage_mode mode) {
    return mode == ZELVAN_TTS_STAGE_FOLLOW_SETTINGS || mode == ZELVAN_TTS_STAGE_ON ||
           mode == ZELVAN_TTS_STAGE_OFF;
}

StageMode stage_mode(zelvan_tts_stage_mode mode) {
    if (mode == ZELVAN_TTS_STAGE_ON) return StageMode::On;
    if (mode == ZELVAN_TTS_STAGE_OFF) return StageMode::Off;
    return StageMode::FollowSettings;
}

// Reads a grown struct the caller gives: the members its `size` covers,
// the defaults in `out` for the rest. False for a size too small to hold
// `size` itself, or non-zero members this library does not know.
template <typename Options>
bool read_grown(const Options* given, Options& out) {
    if (given->size < sizeof(std::size_t)) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(given);
    for (std::size_t i = sizeof(Options); i < given->size; ++i) {
        if (bytes[i] != 0) return false;
    }
    std::memcpy(&out, given, std::min(given->size, sizeof(Options)));
    out.size = sizeof(Options);
    return true;
}

std::string without_stress_marks(const std::string& word) {
    std::string out;
    for (char c : word)
        if (c != '+') out += c;
    return out;
}

std::uint64_t to_samples(double seconds) {
    return seconds <= 0.0 ? 0 : static_cast<std::uint64_t>(std::llround(seconds * kSampleRate));
}

// Turns each spoken chunk into the caller's events: sentence start, the
// marks and words in order, and the previous sentence's end.
class Events {
public:
    Events(zelvan_tts_event_fn fn, void* user, const SpokenText& spoken)
        : fn_(fn), user_(user), spoken_(spoken) {}

    void chunk(const SpokenChunk& chunk, const std::vector<WordTimestamp>& times,
               const std::vector<WordSpan>& spans) {
        end_sentence();
        const std::size_t first = chunk.first_word;
        const std::size_t known = std::min(times.size(), spans.size());
        const std::size_t count = first < known ? std::min(chunk.words.size(), known - first) : 0;
        ByteSpan sentence;
        if (count > 0) {
            const ByteSpan a = caller(spans[first]);
            const ByteSpan b = caller(spans[first + count - 1]);
            sentence.offset = std::min(a.offset, b.offset);
            sentence.length = std::max(a.offset + a.length, b.offset + b.length) - sentence.offset;
        }
        sentence_ = sentence;
        sentence_end_ = to_samples(chunk.end);
        open_ = true;
        const std::uint64_t at = to_samples(chunk.start);
        emit(ZELVAN_TTS_EVENT_SENTENCE_START, at, at, sentence, "");
        for (std::size_t k = 0; k < count; ++k) {
            const WordSpan span = spans[first + k];
            const std::uint64_t start = to_samples(times[first + k].start);
            marks_before(span.offset, start);
            const std::string word = without_stress_marks(chunk.words[k]);
            emit(ZELVAN_TTS_EVENT_WORD, start, std::max(start, to_samples(times[first + k].end)),
                 caller(span), word.c_str());
        }
    }

    void finish(std::uint64_t samples) {
        end_sentence();
        marks_before(std::string::npos, samples);
        emit(ZELVAN_TTS_EVENT_END_OF_MESSAGE, samples, samples, {}, "");
    }

private:
    ByteSpan caller(const WordSpan& span) const {
        return spoken_.document_span(span.offset, span.length);
    }

    void end_sentence() {
        if (!open_) return;
        open_ = false;
        emit(ZELVAN_TTS_EVENT_SENTENCE_END, sentence_end_, sentence_end_, sentence_, "");
    }

    // The marks that stand before byte `offset` of the spoken text.
    void marks_before(std::size_t offset, std::uint64_t sample) {
        for (; next_mark_ < spoken_.marks.size() &&
               spoken_.marks[next_mark_].offset <= offset;
             ++next_mark_) {
            const SpokenMark& m = spoken_.marks[next_mark_];
            emit(ZELVAN_TTS_EVENT_MARK, sample, sample, m.source, m.name.c_str());
        }
    }

    void emit(zelvan_tts_event_type type, std::uint64_t sample, std::uint64_t end,
              ByteSpan span, const char* text) {
        zelvan_tts_event e;
        e.size = sizeof(e);
        e.type = type;
        e.sample = sample;
        e.end_sample = end;
        e.text_offset = span.offset;
        e.text_length = span.length;
        e.text = text;
        fn_(user_, &e);
    }

    zelvan_tts_event_fn fn_;
    void* user_;
    const SpokenText& spoken_;
    ByteSpan sentence_;
    std::uint64_t sentence_end_ = 0;
    bool open_ = false;
    std::size_t next_mark_ = 0;
};

}  // namespace

extern "C" {

const char* zelvan_tts_version(void) { return "1.1.0"; }

const char* zelvan_tts_last_error(void) { return last_error.c_str(); }

int zelvan_tts_voice_count(void) { return kSpeakerCount; }

zelvan_tts_status zelvan_tts_voice_info(int index, zelvan_tts_voice* voice) {
    last_error.clear();
    if (voice == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No voice record given");
    if (index < 0 || index >= kSpeakerCount) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Voice index outside 0..59");
    }
    const SpeakerInfo& s = speakers[static_cast<std::size_t>(index)];
    voice->key = s.speaker_name;
    voice->display_name = voice_texts().display[static_cast<std::size_t>(index)].c_str();
    voice->language = s.lang;
    voice->language_id = s.lcid;
    return ZELVAN_TTS_OK;
}

int zelvan_tts_find_voice(const char* name) {
    if (name == nullptr) return -1;
    const VoiceTexts& texts = voice_texts();
    for (int i = 0; i < kSpeakerCount; ++i) {
        const std::string& display = texts.display[static_cast<std::size_t>(i)];
        const std::string given = display.substr(0, display.find(" ("));
        if (same_letters(speakers[static_cast<std::size_t>(i)].speaker_name, name) ||
            same_letters(display, name) || same_letters(given, name)) {
            return i;
        }
    }
    return -1;
}

zelvan_tts_engine_params zelvan_tts_default_params(void) {
    zelvan_tts_engine_params params;
    params.models_root = nullptr;
    params.threads = 0;
    params.homographs = ZELVAN_TTS_STAGE_FOLLOW_SETTINGS;
    params.stress = ZELVAN_TTS_STAGE_FOLLOW_SETTINGS;
    params.log = nullptr;
    params.log_user_data = nullptr;
    return params;
}

zelvan_tts_status zelvan_tts_engine_open(const zelvan_tts_engine_params* params,
                                         zelvan_tts_engine** engine) {
    zelvan_tts_engine_options options = zelvan_tts_default_options();
    if (params != nullptr) options.params = *params;
    return zelvan_tts_engine_open_with_options(&options, engine);
}

zelvan_tts_status zelvan_tts_engine_open_with_options(const zelvan_tts_engine_options* given,
                                                      zelvan_tts_engine** engine) {
    last_error.clear();
    if (engine == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No place for the engine");
    *engine = nullptr;
    zelvan_tts_engine_options o = zelvan_tts_default_options();
    if (given != nullptr) {
        constexpr std::size_t kFirst = offsetof(zelvan_tts_engine_options, reading);
        if (given->size < kFirst) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Options too small");
        // Members of a later version are refused unless they are zero.
        const auto* bytes = reinterpret_cast<const unsigned char*>(given);
        for (std::size_t i = sizeof(o); i < given->size; ++i) {
            if (bytes[i] != 0) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Unknown options");
        }
        std::memcpy(&o, given, std::min(given->size, sizeof(o)));
        o.size = sizeof(o);
    }
    const zelvan_tts_engine_params& p = o.params;
    if (p.threads < 0) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Threads must not be negative");
    if (!valid_mode(p.homographs) || !valid_mode(p.stress) || !valid_mode(o.reading)) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Unknown stage mode");
    }
    return guarded([&] {
        EngineOptions options;
        if (p.models_root != nullptr) options.models_root = p.models_root;
        options.threads = p.threads;
        options.homographs = stage_mode(p.homographs);
        options.stress = stage_mode(p.stress);
        options.reading = stage_mode(o.reading);
        if (p.log != nullptr) {
            options.log = [log = p.log, user = p.log_user_data](const std::string& line) {
                log(user, line.c_str());
            };
        } else {
            // A stage that did not load is told to the program's user even
            // when the program asked for no log.
            options.problems = [](const std::string& line) {
                std::fprintf(stderr, "zelvan_tts: %s\n", line.c_str());
            };
        }
        *engine = new zelvan_tts_engine(std::move(options));
        return ZELVAN_TTS_OK;
    });
}

void zelvan_tts_engine_close(zelvan_tts_engine* engine) { delete engine; }

size_t zelvan_tts_engine_report(zelvan_tts_engine* engine, char* buffer, size_t size) {
    last_error.clear();
    if (engine == nullptr) {
        fail(ZELVAN_TTS_INVALID_ARGUMENT, "No engine given");
        if (buffer != nullptr && size > 0) buffer[0] = '\0';
        return 0;
    }
    std::string report;
    const zelvan_tts_status status = guarded([&] {
        for (const std::string& line : engine->engine.loaded_report()) report += line + "\n";
        return ZELVAN_TTS_OK;
    });
    if (status != ZELVAN_TTS_OK) report.clear();
    if (buffer != nullptr && size > 0) {
        const std::size_t n = std::min(report.size(), size - 1);
        std::memcpy(buffer, report.data(), n);
        buffer[n] = '\0';
    }
    return report.size();
}

zelvan_tts_request zelvan_tts_default_request(void) {
    zelvan_tts_request request;
    request.voice = 20;
    request.speed = 1.0f;
    request.pitch = 1.0f;
    request.volume = 1.0f;
    return request;
}

zelvan_tts_status zelvan_tts_synthesize(zelvan_tts_engine* engine, const char* text,
                                        size_t length, const zelvan_tts_request* request,
                                        const zelvan_tts_callbacks* callbacks) {
    return zelvan_tts_synthesize_with_options(engine, text, length, request, callbacks, nullptr);
}

void zelvan_tts_cancel(zelvan_tts_engine* engine) {
    if (engine != nullptr) engine->engine.cancel();
}

zelvan_tts_status zelvan_tts_synthesize_with_options(zelvan_tts_engine* engine, const char* text,
                                                     size_t length,
                                                     const zelvan_tts_request* request,
                                                     const zelvan_tts_callbacks* callbacks,
                                                     const zelvan_tts_synthesis_options* given) {
    last_error.clear();
    if (engine == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No engine given");
    if (text == nullptr && length != 0) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No text given");
    if (callbacks == nullptr || callbacks->audio == nullptr) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No audio callback given");
    }
    const zelvan_tts_request r = request ? *request : zelvan_tts_default_request();
    if (r.voice < 0 || r.voice >= kSpeakerCount) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Voice index outside 0..59");
    }
    // Finite values outside the range act as its nearest bound.
    if (!std::isfinite(r.speed) || !std::isfinite(r.pitch) || !std::isfinite(r.volume)) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Speed, pitch and volume must be numbers");
    }
    zelvan_tts_synthesis_options o = zelvan_tts_default_synthesis_options();
    if (given != nullptr && !read_grown(given, o)) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Unknown synthesis options");
    }
    if (o.input != ZELVAN_TTS_INPUT_TEXT && o.input != ZELVAN_TTS_INPUT_SSML) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Unknown input format");
    }
    return guarded([&] {
        const std::string_view given_text(text ? text : "", length);
        SpokenText spoken;
        if (o.input == ZELVAN_TTS_INPUT_SSML) {
            spoken = spoken_text(parse_ssml(given_text));
        } else {
            spoken.text.assign(given_text);
        }
        SynthesisRequest synthesis;
        synthesis.text = spoken.text;
        synthesis.speaker_index = r.voice;
        synthesis.speed = r.speed;
        synthesis.pitch = r.pitch;
        synthesis.volume = r.volume;

        std::vector<WordTimestamp> times;
        std::vector<WordSpan> spans;
        std::size_t told = 0;  // words already handed to the caller
        const auto tell_words = [&] {
            if (callbacks->word == nullptr) return;
            for (; told < times.size() && told < spans.size(); ++told) {
                const ByteSpan span = spoken.document_span(spans[told].offset, spans[told].length);
                zelvan_tts_word word;
                word.start = times[told].start;
                word.end = times[told].end;
                word.text_offset = span.offset;
                word.text_length = span.length;
                callbacks->word(callbacks->user_data, &word);
            }
        };
        bool audio_stopped = false;
        std::uint64_t delivered = 0;
        const AudioSink on_audio = [&](const std::vector<float>& block) {
            tell_words();  // a sentence's words come before its audio
            delivered += block.size();
            audio_stopped = callbacks->audio(callbacks->user_data, block.data(), block.size()) != 0;
            return !audio_stopped;
        };
        Events events(o.event, o.event_user_data, spoken);
        ChunkSink on_chunk;
        if (o.event != nullptr) {
            on_chunk = [&](const SpokenChunk& chunk) { events.chunk(chunk, times, spans); };
        }
        const bool done =
            engine->engine.synthesize(synthesis, on_audio, {}, &times, &spans, on_chunk);
        if (!done) {
            return fail(ZELVAN_TTS_CANCELLED,
                        audio_stopped ? "Cancelled by the audio callback" : "Cancelled");
        }
        tell_words();
        if (o.event != nullptr) events.finish(delivered);
        return ZELVAN_TTS_OK;
    });
}

zelvan_tts_status zelvan_tts_process_text(zelvan_tts_engine* engine, const char* text,
                                          size_t length, int voice,
                                          zelvan_tts_processed_text** out) {
    last_error.clear();
    if (engine == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No engine given");
    if (out == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No place for the result");
    *out = nullptr;
    if (text == nullptr && length != 0) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No text given");
    return guarded([&] {
        const ProcessedText p = engine->engine.process_text(std::string(text ? text : "", length), voice);
        // One allocation: the record, then its texts.
        const std::string* texts[] = {&p.numbers, &p.dictionary, &p.homographs, &p.stress,
                                      &p.script};
        std::size_t size = sizeof(zelvan_tts_processed_text);
        for (const std::string* t : texts) size += t->size() + 1;
        auto* block = static_cast<char*>(std::malloc(size));
        if (block == nullptr) throw std::bad_alloc();
        auto* record = reinterpret_cast<zelvan_tts_processed_text*>(block);
        char* cursor = block + sizeof(zelvan_tts_processed_text);
        const char** fields[] = {&record->numbers, &record->dictionary, &record->homographs,
                                 &record->stress, &record->script};
        for (std::size_t i = 0; i < 5; ++i) {
            std::memcpy(cursor, texts[i]->c_str(), texts[i]->size() + 1);
            *fields[i] = cursor;
            cursor += texts[i]->size() + 1;
        }
        *out = record;
        return ZELVAN_TTS_OK;
    });
}

void zelvan_tts_processed_text_free(zelvan_tts_processed_text* text) { std::free(text); }

}  // extern "C"
