#include "server/request_handler.h"

#include "engine/audio_processing.h"
#include "engine/model_constants.h"
#include "engine/engine.h"
#include "platform/local_pipe.h"
#include "protocol/protocol.h"
#include "server/server_state.h"

#include <exception>
#include <string>

namespace zelvan_tts {

namespace {

// A Cancel waiting at the head of the pipe is consumed, payload and all, and
// stops the synthesis. Any other message is left for the serving loop.
bool cancel_waiting(PipeConnection& pipe) {
    std::uint8_t header[kHeaderSize];
    if (pipe.peek(header, sizeof header) < sizeof header) return false;
    const MessageHeader h = decode_header(header);
    if (h.type != static_cast<std::uint32_t>(MessageType::Cancel)) return false;
    read_exact(pipe, header, sizeof header);
    // A payload left behind would be read as the next header.
    std::vector<std::uint8_t> discard(std::min<std::uint32_t>(h.length, 65536));
    for (std::uint32_t left = h.length; left > 0;) {
        const std::uint32_t n = std::min<std::uint32_t>(left, 65536);
        if (!read_exact(pipe, discard.data(), n)) break;
        left -= n;
    }
    return true;
}

// One record per timed word. A word the engine could not place in the text
// spans the whole text, as the engine's own mapping does when it gives up.
std::vector<SpokenWordSpan> spoken_word_spans(std::size_t count,
                                              const std::vector<std::string>& spoken,
                                              const std::vector<WordSpan>& spans,
                                              std::size_t text_size) {
    std::vector<SpokenWordSpan> out(count);
    for (std::size_t k = 0; k < count; ++k) {
        if (k < spoken.size()) out[k].word = spoken[k];
        const WordSpan span = k < spans.size() ? spans[k] : WordSpan{0, text_size};
        out[k].offset = static_cast<std::uint32_t>(span.offset);
        out[k].length = static_cast<std::uint32_t>(span.length);
    }
    return out;
}

}  // namespace

void handle_synth(PipeConnection& pipe, const std::vector<std::uint8_t>& payload,
                  Engine& engine, ServerState& state) {
    touch(state);
    const std::optional<ReqSynth> record = decode_req_synth(payload.data(), payload.size());
    if (!record) {
        const auto error = encode_error(ErrorCode::PayloadTooSmall, {});
        send_message(pipe, MessageType::Error, error.data(), error.size());
        return;
    }
    if (payload.size() < kReqSynthSize + std::uint64_t{record->text_length}) {
        const auto error = encode_error(ErrorCode::TextTruncated, {});
        send_message(pipe, MessageType::Error, error.data(), error.size());
        return;
    }

    SynthesisRequest request;
    request.text.assign(reinterpret_cast<const char*>(payload.data()) + kReqSynthSize,
                        record->text_length);
    // An unknown voice is served with voice 0; the client is not told.
    const bool valid_voice = record->speaker_id >= 0 && record->speaker_id < kSpeakerCount;
    request.speaker_index = valid_voice ? record->speaker_id : 0;
    request.speed = record->speed;
    request.pitch = record->pitch;
    request.volume = record->volume;

    std::vector<WordTimestamp> words;
    std::vector<WordSpan> spans;
    std::vector<std::string> spoken;
    const bool want_spans = (record->flags & kWantWordSpans) != 0;
    const auto send_audio = [&pipe](const std::vector<float>& block) {
        if (cancel_waiting(pipe)) return false;
        const auto chunk = encode_audio_chunk(to_pcm16(block));
        return send_message(pipe, MessageType::AudioChunk, chunk.data(), chunk.size());
    };
    try {
        // Completed, cancelled or refused: the word times follow in every case.
        if (want_spans) {
            const auto keep_words = [&spoken](const SpokenChunk& chunk) {
                spoken.insert(spoken.end(), chunk.words.begin(), chunk.words.end());
            };
            engine.synthesize(request, send_audio, {}, &words, &spans, keep_words);
            const auto records = encode_word_spans(spoken_word_spans(words.size(), spoken, spans,
                                                                     request.text.size()));
            send_message(pipe, MessageType::WordSpans, records.data(), records.size());
        } else {
            engine.synthesize(request, send_audio, {}, &words);
        }
        const auto done = encode_timestamps(words);
        send_message(pipe, MessageType::SynthesisDone, done.data(), done.size());
    } catch (const std::exception& e) {
        const auto error = encode_error(ErrorCode::SynthesisFailed, e.what());
        send_message(pipe, MessageType::Error, error.data(), error.size());
    }
}

}  // namespace zelvan_tts
