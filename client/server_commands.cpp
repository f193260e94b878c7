#include "client/server_commands.h"

#include "audio/audio_encoding.h"
#include "client/audio_player.h"
#include "client/server_connection.h"
#include "client/voice_choice.h"
#include "client/word_labels.h"
#include "core/settings.h"
#include "engine/text_chunks.h"
#include "platform/local_pipe.h"
#include "platform/utf8_path.h"
#include "protocol/protocol.h"
#include "shared/audio/wav_writer.h"
#include "shared/symbols/model_constants.h"
#include "shared/symbols/speakers.h"
#include "text/reading_modes.h"
#include "text/speech_items.h"
#include "text/ssml.h"
#include "text/user_dictionary.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zelvan_tts {

namespace {

constexpr int kDefaultVoice = 20;  // ru_azat, the first Russian voice
constexpr int kPollMs = 100;

std::atomic<bool> interrupted{false};

void on_interrupt(int) { interrupted = true; }

int fail(const std::string& message, int code = 1) {
    std::cerr << "zelvan_tts: " << message << "\n";
    return code;
}

// A text of more sentences than this shows its progress on a terminal.
constexpr std::size_t kQuietSentences = 3;

struct SayOptions {
    int voice = kDefaultVoice;
    ReqSynth request;
    std::optional<std::string> output;  // -o; speech.wav unless --raw or --play
    std::optional<AudioFormat> format;  // --format, else -o's extension; WAV otherwise
    bool raw = false;
    bool play = false;
    bool list_voices = false;
    bool ssml = false;      // --ssml: the text is an SSML document
    ReadingModes modes;     // --punctuation, --capitals, --spell
    std::string timings;
    std::optional<std::string> text;

    // Whether the client cuts the text into segments itself: SSML, or a
    // reading mode that rewrites the text. Else the text goes as it is.
    bool segmented() const {
        return ssml || modes.spelling || modes.punctuation != Punctuation::None ||
               modes.capitals != Capitals::None;
    }
};

bool stderr_is_terminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

bool parse_factor(const std::string& value, float& out) {
    char* end = nullptr;
    const float f = std::strtof(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !std::isfinite(f)) return false;
    out = f;
    return true;
}

// Fills `options`; returns an error text, empty when the arguments are good.
std::string parse_say(const std::vector<std::string>& args, SayOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool has_value = i + 1 < args.size();
        const auto value = [&]() -> const std::string& { return args[++i]; };
        if (arg == "--voice" || arg == "--speed" || arg == "--pitch" || arg == "--volume" ||
            arg == "-o" || arg == "--timings" || arg == "--format" || arg == "--punctuation" ||
            arg == "--capitals") {
            if (!has_value) return arg + " needs a value";
            const std::string& v = value();
            if (arg == "--punctuation") {
                static const char* const kNames[] = {"none", "some", "most", "all"};
                const auto* at = std::find(std::begin(kNames), std::end(kNames), v);
                if (at == std::end(kNames))
                    return "--punctuation takes none, some, most or all, not \"" + v + "\"";
                options.modes.punctuation = static_cast<Punctuation>(at - std::begin(kNames));
            } else if (arg == "--capitals") {
                static const char* const kNames[] = {"none", "spell", "icon"};
                const auto* at = std::find(std::begin(kNames), std::end(kNames),
                                           v == "tone" ? std::string("icon") : v);
                if (at == std::end(kNames))
                    return "--capitals takes none, spell or icon, not \"" + v + "\"";
                options.modes.capitals = static_cast<Capitals>(at - std::begin(kNames));
            } else if (arg == "--voice") {
                const auto voice = parse_voice(v);
                if (!voice) return unknown_voice_message(v);
                options.voice = *voice;
            } else if (arg == "-o") {
                options.output = v;
            } else if (arg == "--timings") {
                options.timings = v;
            } else if (arg == "--format") {
                options.format = audio_format_from_name(v);
                if (!options.format) return "--format takes wav, pcm, flac, opus or mp3, not \"" + v + "\"";
            } else {
                float& target = arg == "--speed"   ? options.request.speed
                                : arg == "--pitch" ? options.request.pitch
                                                   : options.request.volume;
                if (!parse_factor(v, target)) return arg + " needs a number, not \"" + v + "\"";
            }
        } else if (arg == "--raw") {
            options.raw = true;
        } else if (arg == "--ssml") {
            options.ssml = true;
        } else if (arg == "--spell") {
            options.modes.spelling = true;
        } else if (arg == "--play") {
            options.play = true;
        } else if (arg == "--list-voices") {
            options.list_voices = true;
        } else if (arg == "--") {
            if (i + 2 != args.size() || options.text) return "say takes one TEXT";
            options.text = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else if (options.text) {
            return "say takes one TEXT (quote it)";
        } else {
            options.text = arg;
        }
    }
    if (options.format && options.raw) return "--format names the file's format; --raw writes PCM";
    if (!options.format && options.output) options.format = audio_format_from_path(*options.output);
    options.request.speaker_id = options.voice;
    return {};
}

// One record of --timings: a spoken word, or an SSML mark where it stands.
struct TimedRecord {
    bool mark = false;
    std::string name;  // the word as spoken, or the mark's name
    double start = 0.0;
    double end = 0.0;
    std::size_t offset = 0;  // the bytes of the text as given
    std::size_t length = 0;
};

// Adds the timed words of one synthesis that starts `base` seconds into the
// audio, their bytes as `place` maps those of the synthesis's text. Should
// the server ever time a word the labels lack, that word points at
// `whole`.
template <typename Place>
void add_words(std::vector<TimedRecord>& records, const std::vector<LabelledWord>& words,
               const std::vector<WordTimestamp>& times, double base, Place place,
               ByteSpan whole) {
    for (std::size_t k = 0; k < times.size(); ++k) {
        TimedRecord r;
        r.start = base + times[k].start;
        r.end = base + times[k].end;
        ByteSpan bytes = whole;
        if (k < words.size()) {
            r.name = words[k].word;
            bytes = place(words[k].offset, words[k].length);
        }
        r.offset = bytes.offset;
        r.length = bytes.length;
        records.push_back(std::move(r));
    }
}

// One record per timed word: the word, its times, and the bytes of the
// text it comes from; with --ssml the marks among them.
bool write_timings(const std::string& path, const std::vector<TimedRecord>& records) {
    // Seconds to the microsecond: the float times carry no more than that.
    const auto seconds = [](double t) { return std::round(t * 1e6) / 1e6; };
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const TimedRecord& r : records) {
        if (r.mark) {
            list.push_back({{"mark", r.name},
                            {"start", seconds(r.start)},
                            {"offset", r.offset},
                            {"length", r.length}});
            continue;
        }
        list.push_back({{"word", r.name},
                        {"start", seconds(r.start)},
                        {"end", seconds(r.end)},
                        {"offset", r.offset},
                        {"length", r.length}});
    }
    std::ofstream out(path);
    out << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    out.close();
    return static_cast<bool>(out);
}

// Reads one message, checking for Ctrl-C while it waits. False when the
// connection failed.
bool receive(PipeConnection& pipe, MessageHeader& header, std::vector<std::uint8_t>& payload,
             bool& cancel_sent) {
    for (int waited = 0;; waited += kPollMs) {
        if (interrupted && !cancel_sent) {
            cancel_sent = send_message(pipe, MessageType::Cancel, nullptr, 0);
        }
        if (pipe.wait_readable(kPollMs)) break;
        if (waited > kTransferTimeoutMs) return false;
    }
    return read_message(pipe, header, payload);
}

// Where the audio goes: a file (WAV as it always was, or encoded), standard
// output, a player, or several.
struct SayOutputs {
    std::unique_ptr<WavWriter> wav;
    std::FILE* encoded_file = nullptr;
    std::unique_ptr<AudioEncoder> encoder;
    std::string file_name;
    std::unique_ptr<AudioPlayer> player;
    bool raw = false;
    bool progress = false;     // seconds received, shown on a terminal
    std::size_t samples = 0;   // written so far, in every synthesis and pause
    std::size_t words = 0;     // timed by the server so far
    bool player_gone = false;  // the player stopped taking audio

    // Nobody hears the rest: the player is gone and nothing else wants it.
    bool unheard() const { return player_gone && !wav && !encoder && !raw; }

    SayOutputs() = default;
    SayOutputs(const SayOutputs&) = delete;
    SayOutputs& operator=(const SayOutputs&) = delete;
    ~SayOutputs() {
        encoder.reset();  // what the codec holds still goes to the file
        if (encoded_file != nullptr) std::fclose(encoded_file);
    }
};

// Opens what the options ask for; an error text, empty when all opened.
std::string open_outputs(const SayOptions& options,
                         const std::optional<std::vector<std::string>>& player_command,
                         SayOutputs& outputs) {
    try {
        if (!options.raw && (options.output || !options.play)) {
            const AudioFormat format = options.format.value_or(AudioFormat::Wav);
            outputs.file_name = options.output.value_or(
                std::string("speech.") + (format == AudioFormat::Opus ? "ogg" : audio_format_name(format)));
            if (format == AudioFormat::Wav) {
                outputs.wav = std::make_unique<WavWriter>(outputs.file_name, kSampleRate);
            } else {
                outputs.encoded_file = std::fopen(outputs.file_name.c_str(), "wb");
                if (outputs.encoded_file == nullptr) return "cannot write " + outputs.file_name;
                outputs.encoder = std::make_unique<AudioEncoder>(
                    format, kSampleRate, file_byte_sink(outputs.encoded_file));
            }
        }
        if (player_command) outputs.player = std::make_unique<AudioPlayer>(*player_command);
    } catch (const std::exception& e) {
        return e.what();
    }
    outputs.raw = options.raw;
    outputs.progress = stderr_is_terminal() &&
                       split_into_chunk_spans(*options.text, kMaxChunkChars).size() >
                           kQuietSentences;
    return {};
}

// Everything the server answered to one Synthesize.
struct SayReplies {
    std::vector<WordTimestamp> times;
    std::optional<std::vector<SpokenWordSpan>> spans;  // when the server sent them
    std::optional<ErrorReply> error;
    std::size_t samples = 0;
    bool done = false;  // SynthesisDone or Error arrived
};

// Hands `n` 16-bit little-endian samples to every output.
void write_pcm(SayOutputs& outputs, const std::uint8_t* pcm, std::size_t n) {
    if (outputs.wav) {
        std::vector<std::int16_t> samples(n);
        for (std::size_t k = 0; k < n; ++k) samples[k] = static_cast<std::int16_t>(get_u16(pcm + 2 * k));
        outputs.wav->write(samples.data(), n);
    }
    if (outputs.encoder) {
        std::vector<float> samples(n);
        for (std::size_t k = 0; k < n; ++k)
            samples[k] = static_cast<std::int16_t>(get_u16(pcm + 2 * k)) / 32768.0f;
        outputs.encoder->write(samples.data(), n);
    }
    if (outputs.raw) {
        std::fwrite(pcm, 2, n, stdout);
        std::fflush(stdout);
    }
    if (outputs.player && !outputs.player_gone && !outputs.player->play(pcm, 2 * n))
        outputs.player_gone = true;
    outputs.samples += n;
    if (outputs.progress) {
        std::fprintf(stderr, "\r%.1f s of audio written",
                     static_cast<double>(outputs.samples) / kSampleRate);
    }
}

// Samples made here (a pause, a tone) to every output.
void write_samples(SayOutputs& outputs, const std::vector<float>& samples) {
    std::vector<std::uint8_t> pcm(2 * samples.size());
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const float v = std::clamp(samples[k], -1.0f, 1.0f) * 32767.0f;
        const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v)));
        pcm[2 * k] = static_cast<std::uint8_t>(s & 0xFF);
        pcm[2 * k + 1] = static_cast<std::uint8_t>(s >> 8);
    }
    write_pcm(outputs, pcm.data(), samples.size());
}

// Hands one AudioChunk to every output. Stops the synthesis when the player
// is gone and nothing else wants the audio.
void take_audio(PipeConnection& pipe, const std::vector<std::uint8_t>& payload,
                SayOutputs& outputs, bool& cancel_sent, SayReplies& replies) {
    if (payload.size() < 4) return;
    const std::size_t n = std::min<std::size_t>(get_u32(payload.data()), (payload.size() - 4) / 2);
    write_pcm(outputs, payload.data() + 4, n);  // little-endian, as files want
    if (outputs.unheard() && !cancel_sent)
        cancel_sent = send_message(pipe, MessageType::Cancel, nullptr, 0);
    replies.samples += n;
}

// Reads the replies of one synthesis until its last message or a lost
// connection, passing the audio on as it arrives.
SayReplies receive_synthesis(PipeConnection& pipe, SayOutputs& outputs) {
    SayReplies replies;
    bool cancel_sent = false;
    MessageHeader header{};
    std::vector<std::uint8_t> payload;
    while (!replies.done && receive(pipe, header, payload, cancel_sent)) {
        switch (static_cast<MessageType>(header.type)) {
            case MessageType::AudioChunk:
                take_audio(pipe, payload, outputs, cancel_sent, replies);
                break;
            case MessageType::WordSpans:
                replies.spans = decode_word_spans(payload.data(), payload.size());
                break;
            case MessageType::SynthesisDone:
                replies.times = decode_timestamps(payload.data(), payload.size());
                outputs.words += replies.times.size();
                replies.done = true;
                break;
            case MessageType::Error:
                replies.error = decode_error(payload.data(), payload.size());
                if (!replies.error) replies.error = ErrorReply{0, "unreadable error reply"};
                replies.done = true;
                break;
            default:
                break;
        }
    }
    return replies;
}

// Closes the file and waits for the player. An error text for the file; a
// player's failure goes to `player_error`.
std::string finish_outputs(SayOutputs& outputs, std::string& player_error) {
    if (outputs.wav) {
        try {
            outputs.wav->finish();
        } catch (const std::exception& e) {
            return e.what();
        }
    }
    if (outputs.encoder) {
        bool written = false;
        try {
            written = outputs.encoder->finish();
        } catch (const std::exception& e) {
            std::fclose(outputs.encoded_file);
            outputs.encoded_file = nullptr;
            return e.what();
        }
        written = std::fclose(outputs.encoded_file) == 0 && written;
        outputs.encoded_file = nullptr;
        if (!written) return "cannot write " + outputs.file_name;
    }
    if (outputs.player) {
        try {
            outputs.player->finish();  // once everything is played
        } catch (const std::exception& e) {
            player_error = e.what();
        }
    }
    return {};
}

// The timed words, labelled with the caller's text. The server says what it
// spoke; a server that does not (it predates word spans) leaves the client
// to walk the text as the server would, which may not match what was spoken
// when the server holds another dictionary or other settings.
std::vector<LabelledWord> timed_words(const std::string& text, int voice,
                                      const SayReplies& replies) {
    std::vector<LabelledWord> words;
    if (replies.spans) {
        for (const SpokenWordSpan& w : *replies.spans)
            words.push_back({without_stress_marks(w.word), w.offset, w.length});
        return words;
    }
    static bool warned = false;
    if (!warned) {
        std::cerr << "zelvan_tts: the server sent no word spans (it is older than this "
                     "program); the words are labelled here and may differ from what was "
                     "spoken\n";
        warned = true;
    }
    const UserDictionary dictionary = UserDictionary::load(path_from_utf8(dictionary_file_path()));
    return label_words(text, speakers[voice].lang, &dictionary,
                       load_settings_file().enable_reading);
}

std::string server_error(const ErrorReply& error) {
    return "server error " + std::to_string(error.code) +
           (error.message.empty() ? "" : ": " + error.message);
}

// Sends one Synthesize and takes its audio into the outputs. An error text,
// empty when the server spoke it to the end.
std::string synthesize(PipeConnection& pipe, const ReqSynth& request, const std::string& text,
                       SayOutputs& outputs, SayReplies& replies) {
    const auto payload = encode_req_synth(request, text);
    if (!send_message(pipe, MessageType::Synthesize, payload.data(), payload.size()))
        return "could not send the request to the server";
    replies = receive_synthesis(pipe, outputs);
    if (replies.error) return server_error(*replies.error);
    if (!replies.done) return "lost the connection to the server";
    return {};
}

// Speaks the text as one request, as it stands. An error text, empty when
// it was spoken.
std::string say_text(PipeConnection& pipe, SayOptions& options, SayOutputs& outputs,
                     std::vector<TimedRecord>& records) {
    // Word spans only when they are wanted: a request without the flag is
    // the one every server knows.
    if (!options.timings.empty()) options.request.flags |= kWantWordSpans;
    SayReplies replies;
    if (std::string e = synthesize(pipe, options.request, *options.text, outputs, replies); !e.empty())
        return e;
    if (!options.timings.empty()) {
        const std::vector<LabelledWord> words = timed_words(*options.text, options.voice, replies);
        if (words.size() != replies.times.size()) {
            std::cerr << "zelvan_tts: " << replies.times.size() << " words timed but "
                      << words.size() << " labelled; a word without a label points at the "
                      << "whole text\n";
        }
        add_words(records, words, replies.times, 0.0,
                  [](std::size_t offset, std::size_t length) { return ByteSpan{offset, length}; },
                  ByteSpan{0, options.text->size()});
    }
    return {};
}

// Speaks the segments of an SSML document or of a text the reading modes
// rewrote: each run of one voice and prosody as one request with them, the
// pauses and tones made here. Word times count the audio before them, and
// the marks stand at the start of the word after them (at the end of the
// audio before them when none follows in their run). An error text, empty
// when all was spoken.
std::string say_segments(PipeConnection& pipe, const SayOptions& options,
                         const std::vector<SpeechSegment>& segments, SayOutputs& outputs,
                         std::vector<TimedRecord>& records) {
    const auto add_mark = [&](const SpokenMark& m, double at) {
        TimedRecord r;
        r.mark = true;
        r.name = m.name;
        r.start = r.end = at;
        r.offset = m.source.offset;
        r.length = m.source.length;
        records.push_back(std::move(r));
    };
    for (const SpeechSegment& segment : segments) {
        if (interrupted || outputs.unheard()) break;
        const double base = static_cast<double>(outputs.samples) / kSampleRate;
        if (segment.kind == SpeechSegment::Kind::Pause) {
            std::size_t left = static_cast<std::size_t>(segment.pause_ms) * kSampleRate / 1000;
            const std::vector<float> block(kSampleRate / 10, 0.0f);
            while (left > 0 && !interrupted) {
                const std::size_t n = std::min(left, block.size());
                write_samples(outputs, std::vector<float>(block.begin(), block.begin() + n));
                left -= n;
            }
            continue;
        }
        if (segment.kind == SpeechSegment::Kind::Tone) {
            const float gain = std::min(1.0f, std::fabs(options.request.volume) *
                                                  segment.prosody.volume);
            write_samples(outputs, capital_tone(kSampleRate, gain));
            continue;
        }
        const SpokenText& spoken = segment.spoken;
        if (spoken.text.find_first_not_of(" \t\r\n") == std::string::npos) {
            for (const SpokenMark& m : spoken.marks) add_mark(m, base);
            continue;
        }
        ReqSynth request = options.request;
        request.speaker_id = segment.voice >= 0 ? segment.voice : options.voice;
        request.speed *= segment.prosody.rate;
        request.pitch *= segment.prosody.pitch;
        request.volume *= segment.prosody.volume;
        if (!options.timings.empty()) request.flags |= kWantWordSpans;
        SayReplies replies;
        if (std::string e = synthesize(pipe, request, spoken.text, outputs, replies); !e.empty())
            return e;
        if (options.timings.empty()) continue;
        const std::vector<LabelledWord> words =
            timed_words(spoken.text, request.speaker_id, replies);
        std::vector<TimedRecord> run;
        add_words(run, words, replies.times, base,
                  [&](std::size_t offset, std::size_t length) {
                      return spoken.document_span(offset, length);
                  },
                  spoken.document_span(0, spoken.text.size()));
        // Each mark goes before the first word at or after its place.
        std::size_t k = 0;
        for (const SpokenMark& m : spoken.marks) {
            for (; k < run.size() && (k >= words.size() || words[k].offset < m.offset); ++k)
                records.push_back(run[k]);
            add_mark(m, k < run.size() ? run[k].start
                                       : base + static_cast<double>(replies.samples) / kSampleRate);
        }
        records.insert(records.end(), run.begin() + static_cast<std::ptrdiff_t>(k), run.end());
    }
    return {};
}

}  // namespace

int run_say(const std::vector<std::string>& args) {
    SayOptions options;
    if (const std::string error = parse_say(args, options); !error.empty()) {
        return fail(error, kExitUsage);
    }
    if (options.list_voices) {
        std::cout << voice_list();
        return 0;
    }
    std::optional<std::vector<std::string>> player_command;
    if (options.play) {
        player_command = find_player(kSampleRate);
        if (!player_command) return fail("--play needs aplay or paplay on the search path");
    }
    if (!options.text) {
        options.text.emplace(std::istreambuf_iterator<char>(std::cin),
                             std::istreambuf_iterator<char>());
    }
    // SSML and the reading modes are read here; the server speaks each run.
    std::optional<std::vector<SpeechSegment>> segments;
    if (options.segmented()) {
        std::vector<SpeechItem> items;
        if (options.ssml) {
            try {
                items = parse_ssml(*options.text, options.voice);
            } catch (const SsmlRefused& e) {
                return fail(std::string("cannot speak this SSML: ") + e.what());
            }
        } else {
            items.push_back(plain_text_item(*options.text));
        }
        segments = speech_segments(apply_reading_modes(items, options.modes));
    }
    // From here on Ctrl-C asks the server to stop, and the audio received so
    // far is kept in a well-formed file.
    std::signal(SIGINT, on_interrupt);

    std::string error;
    const auto pipe = connect_to_server(true, error);
    if (!pipe) return fail(error);
    SayOutputs outputs;
    if (const std::string e = open_outputs(options, player_command, outputs); !e.empty())
        return fail(e);

    std::vector<TimedRecord> records;
    const std::string said = segments ? say_segments(*pipe, options, *segments, outputs, records)
                                      : say_text(*pipe, options, outputs, records);
    if (outputs.progress && outputs.samples > 0) std::fprintf(stderr, "\n");

    std::string player_error;
    if (const std::string e = finish_outputs(outputs, player_error); !e.empty()) return fail(e);
    if (!said.empty()) return fail(said);
    // Ctrl-C stops the player too; that is no failure of its own.
    if (!player_error.empty() && !interrupted) return fail(player_error);
    if (!options.timings.empty() && !write_timings(options.timings, records))
        return fail("cannot write " + options.timings);
    if (outputs.wav || outputs.encoder) {
        std::cerr << "wrote " << outputs.file_name << " ("
                  << static_cast<double>(outputs.samples) / kSampleRate << " s, "
                  << outputs.words << " words)\n";
    }
    return interrupted ? kExitInterrupted : 0;
}

int run_info(const std::vector<std::string>& args) {
    if (!args.empty()) return fail("info takes no arguments", kExitUsage);
    std::string error;
    const auto pipe = connect_to_server(true, error);
    if (!pipe) return fail(error);
    MessageHeader header{};
    std::vector<std::uint8_t> payload;
    bool cancel_sent = false;
    if (!send_message(*pipe, MessageType::GetInfo, nullptr, 0) ||
        !receive(*pipe, header, payload, cancel_sent) ||
        header.type != static_cast<std::uint32_t>(MessageType::Info) ||
        payload.size() < kInfoReplySize) {
        return fail("the server gave no information");
    }
    std::cout << "speakers: " << get_u32(payload.data()) << "\n"
              << "sample rate: " << get_u32(payload.data() + 4) << "\n";
    // What the server actually loaded: its voice model and stage models.
    if (!send_message(*pipe, MessageType::GetReport, nullptr, 0) ||
        !receive(*pipe, header, payload, cancel_sent) ||
        header.type != static_cast<std::uint32_t>(MessageType::Report)) {
        return fail("the server did not say what it loaded");
    }
    std::cout << std::string(payload.begin(), payload.end());
    return 0;
}

int run_shutdown(const std::vector<std::string>& args) {
    if (!args.empty()) return fail("shutdown takes no arguments", kExitUsage);
    std::string error;
    const auto pipe = connect_to_server(false, error);
    if (!pipe) {
        std::cerr << "zelvan_tts: " << error << "\n";
        return 0;  // nothing to stop
    }
    return send_message(*pipe, MessageType::Shutdown, nullptr, 0)
               ? 0
               : fail("could not reach the server");
}

}  // namespace zelvan_tts
