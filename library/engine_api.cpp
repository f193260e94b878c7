// The engine behind the C interface, in the private library that
// libzelvan_tts loads when the first engine opens: arguments checked at the
// border, every exception turned into a status and a message for the
// calling thread, nothing thrown across it.
#include "library/core_table.h"

#include "core/search_paths.h"
#include "core/settings.h"
#include "engine/engine.h"
#include "engine/model_constants.h"
#include "platform/module_path.h"
#include "platform/utf8_path.h"
#include "text/reading_modes.h"
#include "text/speech_items.h"
#ifndef ZELVAN_TTS_NO_SSML
#include "text/ssml.h"
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

struct zelvan_tts_engine {
    zelvan_tts_engine(zelvan_tts::EngineOptions options, zelvan_tts::ReadingModes reading_modes)
        : engine(std::move(options)), modes(reading_modes) {}
    zelvan_tts::Engine engine;
    const zelvan_tts::ReadingModes modes;
    // One synthesis at a time, however many engine calls it makes (one per
    // run of one prosody); a cancel stops the call that runs, wherever it is.
    std::mutex call_mutex;
    std::uint64_t calls = 0;                // under call_mutex
    std::atomic<std::uint64_t> running{0};  // the running call's number, 0: none
    std::atomic<std::uint64_t> cancelled{0};
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
    } catch (const std::invalid_argument& e) {  // refused SSML, a missing dictionary
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, e.what());
    } catch (const std::out_of_range& e) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, e.what());
    } catch (const std::exception& e) {
        return fail(ZELVAN_TTS_MODEL_FAILED, e.what());
    } catch (...) {
        return fail(ZELVAN_TTS_INTERNAL_ERROR, "Unknown error");
    }
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
// `minimum` bytes, or non-zero members this library does not know.
template <typename Options>
bool read_grown(const Options* given, Options& out, std::size_t minimum = sizeof(std::size_t)) {
    if (given->size < minimum) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(given);
    for (std::size_t i = sizeof(Options); i < given->size; ++i) {
        if (bytes[i] != 0) return false;
    }
    std::memcpy(&out, given, std::min(given->size, sizeof(Options)));
    out.size = sizeof(Options);
    return true;
}

zelvan_tts_request default_request() { return {20, 1.0f, 1.0f, 1.0f}; }

// zelvan_tts_default_options() without calling back into libzelvan_tts,
// which a program may have loaded with its symbols kept to itself.
zelvan_tts_engine_options default_options() {
    zelvan_tts_engine_options o;
    std::memset(&o, 0, sizeof o);
    o.size = sizeof o;
    o.params.homographs = ZELVAN_TTS_STAGE_FOLLOW_SETTINGS;
    o.params.stress = ZELVAN_TTS_STAGE_FOLLOW_SETTINGS;
    o.reading = ZELVAN_TTS_STAGE_FOLLOW_SETTINGS;
    o.dictionary = ZELVAN_TTS_DICTIONARY_FOLLOW_SETTINGS;
    return o;
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

bool blank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Turns each spoken chunk into the caller's events: sentence start, the
// marks and words in order, and the previous sentence's end. Each segment
// of the document is told with the samples delivered before it added.
class Events {
public:
    Events(zelvan_tts_event_fn fn, void* user) : fn_(fn), user_(user) {}

    void begin(const SpokenText& spoken, std::uint64_t base) {
        spoken_ = &spoken;
        base_ = base;
        next_mark_ = 0;
    }

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
        sentence_end_ = base_ + to_samples(chunk.end);
        open_ = true;
        const std::uint64_t at = base_ + to_samples(chunk.start);
        emit(ZELVAN_TTS_EVENT_SENTENCE_START, at, at, sentence, "");
        for (std::size_t k = 0; k < count; ++k) {
            const WordSpan span = spans[first + k];
            const std::uint64_t start = base_ + to_samples(times[first + k].start);
            marks_before(span.offset, start);
            const std::string word = without_stress_marks(chunk.words[k]);
            emit(ZELVAN_TTS_EVENT_WORD, start,
                 std::max(start, base_ + to_samples(times[first + k].end)), caller(span),
                 word.c_str());
        }
    }

    // The segment is over at sample `at`: its sentence ends, the marks
    // after its last word stand here.
    void end(std::uint64_t at) {
        end_sentence();
        if (spoken_ != nullptr) marks_before(std::string::npos, at);
        spoken_ = nullptr;
    }

    void finish(std::uint64_t samples) {
        end(samples);
        emit(ZELVAN_TTS_EVENT_END_OF_MESSAGE, samples, samples, {}, "");
    }

private:
    ByteSpan caller(const WordSpan& span) const {
        return spoken_->document_span(span.offset, span.length);
    }

    void end_sentence() {
        if (!open_) return;
        open_ = false;
        emit(ZELVAN_TTS_EVENT_SENTENCE_END, sentence_end_, sentence_end_, sentence_, "");
    }

    // The marks that stand before byte `offset` of the spoken text.
    void marks_before(std::size_t offset, std::uint64_t sample) {
        for (; next_mark_ < spoken_->marks.size() && spoken_->marks[next_mark_].offset <= offset;
             ++next_mark_) {
            const SpokenMark& m = spoken_->marks[next_mark_];
            emit(ZELVAN_TTS_EVENT_MARK, sample, sample, m.source, m.name.c_str());
        }
    }

    void emit(zelvan_tts_event_type type, std::uint64_t sample, std::uint64_t end,
              ByteSpan span, const char* text) {
        if (fn_ == nullptr) return;
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
    const SpokenText* spoken_ = nullptr;
    std::uint64_t base_ = 0;
    ByteSpan sentence_;
    std::uint64_t sentence_end_ = 0;
    bool open_ = false;
    std::size_t next_mark_ = 0;
};

bool default_modes(const ReadingModes& m) {
    return m.punctuation == Punctuation::None && !m.spelling && m.capitals == Capitals::None;
}

// What a synthesis speaks of the caller's text, in segments.
// SSML's voice and language switches start from the request's voice.
std::vector<SpeechSegment> segments_of(std::string_view given, zelvan_tts_input_format input,
                                       const ReadingModes& modes, int voice) {
    std::vector<SpeechItem> items;
    if (input == ZELVAN_TTS_INPUT_SSML) {
#ifdef ZELVAN_TTS_NO_SSML
        (void)voice;
        throw std::invalid_argument("SSML is not read by this build of the library");
#else
        items = parse_ssml(given, voice);
#endif
    } else if (default_modes(modes)) {
        // Plain text as it stands: its bytes are the caller's, one to one.
        std::vector<SpeechSegment> plain(1);
        plain[0].spoken.text.assign(given);
        return plain;
    } else {
        items.push_back(plain_text_item(given));
    }
    return speech_segments(apply_reading_modes(items, modes));
}

// Silence or a tone, in blocks, for as long as nothing stops it.
class Delivery {
public:
    Delivery(const zelvan_tts_callbacks& callbacks, std::function<bool()> stop)
        : callbacks_(callbacks), stop_(std::move(stop)) {}

    bool audio(const float* samples, std::size_t count) {
        if (stop_()) return false;
        delivered += count;
        stopped_by_caller = callbacks_.audio(callbacks_.user_data, samples, count) != 0;
        return !stopped_by_caller;
    }

    bool silence(std::size_t count) {
        static const std::vector<float> kBlock(kSampleRate / 10, 0.0f);
        while (count > 0) {
            const std::size_t n = std::min(count, kBlock.size());
            if (!audio(kBlock.data(), n)) return false;
            count -= n;
        }
        return true;
    }

    std::uint64_t delivered = 0;
    bool stopped_by_caller = false;

private:
    const zelvan_tts_callbacks& callbacks_;
    std::function<bool()> stop_;
};

std::string report_line_for_dictionary(const EngineOptions& options) {
    if (options.dictionary == DictionaryMode::Off) return "dictionary: off";
    if (options.dictionary == DictionaryMode::File)
        return "dictionary: " + options.dictionary_file;
    const std::string path = dictionary_file_path();
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path_from_utf8(path), ec))
        return "dictionary: none";
    return "dictionary: " + path;
}

std::string report_line_for_modes(const ReadingModes& m) {
    static const char* const kPunctuation[] = {"none", "some", "most", "all"};
    static const char* const kCapitals[] = {"none", "spell", "icon"};
    return std::string("reading modes: punctuation ") +
           kPunctuation[static_cast<int>(m.punctuation)] + ", capitals " +
           kCapitals[static_cast<int>(m.capitals)] + ", spelling " + (m.spelling ? "on" : "off");
}

// ---- the table's functions --------------------------------------------------

const char* core_last_error() { return last_error.c_str(); }

zelvan_tts_status core_engine_open(const zelvan_tts_engine_options* given,
                                   zelvan_tts_engine** engine) {
    last_error.clear();
    if (engine == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No place for the engine");
    *engine = nullptr;
    zelvan_tts_engine_options o = default_options();
    if (given != nullptr) {
        // The 1.1 header's first version ended after `reading`.
        const std::size_t first = offsetof(zelvan_tts_engine_options, reading);
        if (given->size < first) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Options too small");
        if (!read_grown(given, o, first))
            return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Unknown options");
    }
    const zelvan_tts_engine_params& p = o.params;
    if (p.threads < 0) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Threads must not be negative");
    if (!valid_mode(p.homographs) || !valid_mode(p.stress) || !valid_mode(o.reading)) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Unknown stage mode");
    }
    const auto within = [](int value, int last) { return value >= 0 && value <= last; };
    if (!within(o.punctuation, ZELVAN_TTS_PUNCTUATION_ALL))
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Unknown punctuation mode");
    if (!within(o.capitals, ZELVAN_TTS_CAPITALS_ICON))
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Unknown capitals mode");
    if (!within(o.dictionary, ZELVAN_TTS_DICTIONARY_OFF))
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Unknown dictionary mode");
    if (o.dictionary == ZELVAN_TTS_DICTIONARY_FILE &&
        (o.dictionary_file == nullptr || o.dictionary_file[0] == '\0'))
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No dictionary file given");
    return guarded([&] {
        EngineOptions options;
        if (p.models_root != nullptr) options.models_root = p.models_root;
        options.threads = p.threads;
        options.homographs = stage_mode(p.homographs);
        options.stress = stage_mode(p.stress);
        options.reading = stage_mode(o.reading);
        options.dictionary = o.dictionary == ZELVAN_TTS_DICTIONARY_FILE ? DictionaryMode::File
                             : o.dictionary == ZELVAN_TTS_DICTIONARY_OFF
                                 ? DictionaryMode::Off
                                 : DictionaryMode::FollowSettings;
        if (o.dictionary == ZELVAN_TTS_DICTIONARY_FILE) options.dictionary_file = o.dictionary_file;
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
        ReadingModes modes;
        modes.punctuation = static_cast<Punctuation>(o.punctuation);
        modes.capitals = static_cast<Capitals>(o.capitals);
        modes.spelling = o.spelling != 0;
        *engine = new zelvan_tts_engine(std::move(options), modes);
        return ZELVAN_TTS_OK;
    });
}

void core_engine_close(zelvan_tts_engine* engine) { delete engine; }

size_t core_engine_report(zelvan_tts_engine* engine, char* buffer, size_t size) {
    last_error.clear();
    std::string report;
    const zelvan_tts_status status = guarded([&] {
        for (const std::string& line : engine->engine.loaded_report()) report += line + "\n";
        report += report_line_for_dictionary(engine->engine.options()) + "\n";
        report += report_line_for_modes(engine->modes) + "\n";
        report += "engine core: " + path_to_utf8(running_module_file()) + "\n";
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

void core_cancel(zelvan_tts_engine* engine) {
    const std::uint64_t call = engine->running.load();
    // Numbers only grow: a cancel that read an older call must not undo
    // one of a newer call that came in between.
    std::uint64_t latest = engine->cancelled.load();
    while (latest < call && !engine->cancelled.compare_exchange_weak(latest, call)) {
    }
}

zelvan_tts_status core_synthesize(zelvan_tts_engine* engine, const char* text, size_t length,
                                  const zelvan_tts_request* request,
                                  const zelvan_tts_callbacks* callbacks,
                                  const zelvan_tts_synthesis_options* given) {
    last_error.clear();
    if (text == nullptr && length != 0) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No text given");
    if (callbacks == nullptr || callbacks->audio == nullptr) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No audio callback given");
    }
    const zelvan_tts_request r = request ? *request : default_request();
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
    const std::lock_guard<std::mutex> lock(engine->call_mutex);
    // Each call has its own number, so that a cancel meant for one call
    // never reaches the next.
    const std::uint64_t call = ++engine->calls;
    engine->running.store(call);
    struct Finished {
        std::atomic<std::uint64_t>& running;
        ~Finished() { running.store(0); }
    } finished{engine->running};
    const auto stop = [engine, call] { return engine->cancelled.load() == call; };
    return guarded([&] {
        const std::vector<SpeechSegment> segments =
            segments_of(std::string_view(text ? text : "", length), o.input, engine->modes,
                        r.voice);
        Delivery delivery(*callbacks, stop);
        Events events(o.event, o.event_user_data);
        const auto cancelled = [&] {
            return fail(ZELVAN_TTS_CANCELLED, delivery.stopped_by_caller
                                                  ? "Cancelled by the audio callback"
                                                  : "Cancelled");
        };
        for (const SpeechSegment& segment : segments) {
            if (stop()) return cancelled();
            const std::uint64_t base = delivery.delivered;
            if (segment.kind == SpeechSegment::Kind::Pause) {
                if (!delivery.silence(static_cast<std::size_t>(segment.pause_ms) * kSampleRate /
                                      1000))
                    return cancelled();
                continue;
            }
            if (segment.kind == SpeechSegment::Kind::Tone) {
                const std::vector<float> tone =
                    capital_tone(kSampleRate, std::min(1.0f, std::fabs(r.volume) *
                                                                 segment.prosody.volume));
                if (!delivery.audio(tone.data(), tone.size())) return cancelled();
                continue;
            }
            const SpokenText& spoken = segment.spoken;
            events.begin(spoken, base);
            if (blank(spoken.text)) {  // marks alone
                events.end(base);
                continue;
            }
            SynthesisRequest synthesis;
            synthesis.text = spoken.text;
            synthesis.speaker_index = segment.voice >= 0 ? segment.voice : r.voice;
            synthesis.speed = r.speed * segment.prosody.rate;
            synthesis.pitch = r.pitch * segment.prosody.pitch;
            synthesis.volume = r.volume * segment.prosody.volume;

            std::vector<WordTimestamp> times;
            std::vector<WordSpan> spans;
            std::size_t told = 0;  // words already handed to the caller
            const double base_seconds = static_cast<double>(base) / kSampleRate;
            const auto tell_words = [&] {
                if (callbacks->word == nullptr) return;
                for (; told < times.size() && told < spans.size(); ++told) {
                    const ByteSpan span = spoken.document_span(spans[told].offset,
                                                               spans[told].length);
                    zelvan_tts_word word;
                    word.start = base_seconds + times[told].start;
                    word.end = base_seconds + times[told].end;
                    word.text_offset = span.offset;
                    word.text_length = span.length;
                    callbacks->word(callbacks->user_data, &word);
                }
            };
            const AudioSink on_audio = [&](const std::vector<float>& block) {
                tell_words();  // a sentence's words come before its audio
                return delivery.audio(block.data(), block.size());
            };
            ChunkSink on_chunk;
            if (o.event != nullptr) {
                on_chunk = [&](const SpokenChunk& chunk) { events.chunk(chunk, times, spans); };
            }
            if (!engine->engine.synthesize(synthesis, on_audio, {}, &times, &spans, on_chunk,
                                           stop))
                return cancelled();
            tell_words();
            events.end(delivery.delivered);
        }
        events.finish(delivery.delivered);
        return ZELVAN_TTS_OK;
    });
}

zelvan_tts_status core_process_text(zelvan_tts_engine* engine, const char* text, size_t length,
                                    int voice, zelvan_tts_processed_text** out) {
    last_error.clear();
    if (out == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No place for the result");
    *out = nullptr;
    if (text == nullptr && length != 0) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No text given");
    return guarded([&] {
        const ProcessedText p =
            engine->engine.process_text(std::string(text ? text : "", length), voice);
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

void core_processed_text_free(zelvan_tts_processed_text* text) { std::free(text); }

const zelvan_tts_core_table kTable = {
    sizeof(zelvan_tts_core_table), core_last_error,   core_engine_open,
    core_engine_close,             core_engine_report, core_cancel,
    core_synthesize,               core_process_text, core_processed_text_free,
};

}  // namespace

extern "C" ZELVAN_TTS_CORE_EXPORT const zelvan_tts_core_table* zelvan_tts_core_functions(
    const char* installation_dir) {
    if (installation_dir != nullptr && installation_dir[0] != '\0')
        set_module_dir(path_from_utf8(installation_dir));
    return &kTable;
}
