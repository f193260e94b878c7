#include "client/server_commands.h"

#include "client/server_connection.h"
#include "client/voice_choice.h"
#include "client/wav_writer.h"
#include "engine/model_constants.h"
#include "engine/text_chunks.h"
#include "engine/text_stages.h"
#include "engine/word_timestamps.h"
#include "platform/local_pipe.h"
#include "protocol/protocol.h"
#include "shared/symbols/speakers.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>

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

struct SayOptions {
    int voice = kDefaultVoice;
    ReqSynth request;
    std::string output = "speech.wav";
    bool raw = false;
    std::string timings;
    std::optional<std::string> text;
};

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
            arg == "-o" || arg == "--timings") {
            if (!has_value) return arg + " needs a value";
            const std::string& v = value();
            if (arg == "--voice") {
                const auto voice = parse_voice(v);
                if (!voice) return unknown_voice_message(v);
                options.voice = *voice;
            } else if (arg == "-o") {
                options.output = v;
            } else if (arg == "--timings") {
                options.timings = v;
            } else {
                float& target = arg == "--speed"   ? options.request.speed
                                : arg == "--pitch" ? options.request.pitch
                                                   : options.request.volume;
                if (!parse_factor(v, target)) return arg + " needs a number, not \"" + v + "\"";
            }
        } else if (arg == "--raw") {
            options.raw = true;
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
    options.request.speaker_id = options.voice;
    return {};
}

// The words the server times, spelled as the model hears them: the same text
// steps and chunks as the synthesis.
std::vector<std::string> words_of(const std::string& text, int voice) {
    const ProcessedText processed = process_text(text, speakers[voice].lang, load_settings_file());
    std::vector<std::string> words;
    for (const std::string& chunk : split_into_chunks(processed.script, kMaxChunkChars)) {
        for (std::string& w : spoken_words(chunk)) words.push_back(std::move(w));
    }
    return words;
}

bool write_timings(const std::string& path, const std::vector<std::string>& words,
                   const std::vector<WordTimestamp>& times) {
    // Seconds to the microsecond: the float times carry no more than that.
    const auto seconds = [](float t) { return std::round(static_cast<double>(t) * 1e6) / 1e6; };
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (std::size_t k = 0; k < times.size(); ++k) {
        list.push_back({{"word", k < words.size() ? words[k] : std::string()},
                        {"start", seconds(times[k].start)},
                        {"end", seconds(times[k].end)}});
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

}  // namespace

int run_say(const std::vector<std::string>& args) {
    SayOptions options;
    if (const std::string error = parse_say(args, options); !error.empty()) {
        return fail(error, kExitUsage);
    }
    if (!options.text) {
        options.text.emplace(std::istreambuf_iterator<char>(std::cin),
                             std::istreambuf_iterator<char>());
    }
    // From here on Ctrl-C asks the server to stop, and the audio received so
    // far is kept in a well-formed file.
    std::signal(SIGINT, on_interrupt);

    std::string error;
    const auto pipe = connect_to_server(true, error);
    if (!pipe) return fail(error);

    std::unique_ptr<WavWriter> wav;
    if (!options.raw) {
        try {
            wav = std::make_unique<WavWriter>(options.output, kSampleRate);
        } catch (const std::exception& e) {
            return fail(e.what());
        }
    }

    const auto request = encode_req_synth(options.request, *options.text);
    if (!send_message(*pipe, MessageType::Synthesize, request.data(), request.size())) {
        return fail("could not send the request to the server");
    }

    std::vector<WordTimestamp> times;
    std::optional<ErrorReply> server_error;
    bool cancel_sent = false;
    bool done = false;
    MessageHeader header{};
    std::vector<std::uint8_t> payload;
    while (!done && receive(*pipe, header, payload, cancel_sent)) {
        switch (static_cast<MessageType>(header.type)) {
            case MessageType::AudioChunk: {
                if (payload.size() < 4) break;
                const std::size_t n =
                    std::min<std::size_t>(get_u32(payload.data()), (payload.size() - 4) / 2);
                std::vector<std::int16_t> samples(n);
                for (std::size_t k = 0; k < n; ++k) {
                    samples[k] =
                        static_cast<std::int16_t>(payload[4 + 2 * k] | payload[5 + 2 * k] << 8);
                }
                if (wav) {
                    wav->write(samples.data(), n);
                } else {
                    std::fwrite(payload.data() + 4, 2, n, stdout);
                    std::fflush(stdout);
                }
                break;
            }
            case MessageType::SynthesisDone:
                times = decode_timestamps(payload.data(), payload.size());
                done = true;
                break;
            case MessageType::Error:
                server_error = decode_error(payload.data(), payload.size());
                if (!server_error) server_error = ErrorReply{0, "unreadable error reply"};
                done = true;
                break;
            default:
                break;
        }
    }

    if (wav) {
        try {
            wav->finish();
        } catch (const std::exception& e) {
            return fail(e.what());
        }
    }
    if (server_error) {
        return fail("server error " + std::to_string(server_error->code) +
                    (server_error->message.empty() ? "" : ": " + server_error->message));
    }
    if (!done) return fail("lost the connection to the server");
    if (!options.timings.empty() &&
        !write_timings(options.timings, words_of(*options.text, options.voice), times)) {
        return fail("cannot write " + options.timings);
    }
    if (wav) {
        std::cerr << "wrote " << options.output << " ("
                  << static_cast<double>(wav->samples_written()) / kSampleRate << " s, "
                  << times.size() << " words)\n";
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
