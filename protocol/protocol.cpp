#include "protocol/protocol.h"

#include "platform/local_pipe.h"

#include <cstring>

namespace zelvan_tts {

MessageHeader decode_header(const std::uint8_t* bytes) {
    return {get_u32(bytes), get_u32(bytes + 4)};
}

bool read_exact(PipeConnection& pipe, void* buffer, std::size_t count) {
    return pipe.read_exact(buffer, count, kTransferTimeoutMs);
}

bool read_message(PipeConnection& pipe, MessageHeader& header, std::vector<std::uint8_t>& payload) {
    std::uint8_t bytes[kHeaderSize];
    if (!read_exact(pipe, bytes, sizeof bytes)) return false;
    header = decode_header(bytes);
    payload.resize(header.length);
    return header.length == 0 || read_exact(pipe, payload.data(), payload.size());
}

bool send_message(PipeConnection& pipe, MessageType type, const void* payload, std::size_t length) {
    std::uint8_t header[kHeaderSize];
    put_u32(header, static_cast<std::uint32_t>(type));
    put_u32(header + 4, static_cast<std::uint32_t>(length));
    if (!pipe.write_all(header, sizeof header, kTransferTimeoutMs)) return false;
    if (length == 0 || payload == nullptr) return true;
    return pipe.write_all(payload, length, kTransferTimeoutMs);
}

std::vector<std::uint8_t> encode_req_synth(const ReqSynth& request, std::string_view text) {
    std::vector<std::uint8_t> out(kReqSynthSize + text.size(), 0);  // reserved bytes stay 0
    put_u32(out.data(), static_cast<std::uint32_t>(request.speaker_id));
    put_f32(out.data() + 4, request.speed);
    put_f32(out.data() + 8, request.pitch);
    put_f32(out.data() + 12, request.volume);
    put_u32(out.data() + 16, static_cast<std::uint32_t>(text.size()));
    put_u32(out.data() + 20, request.flags);
    if (!text.empty()) std::memcpy(out.data() + kReqSynthSize, text.data(), text.size());
    return out;
}

std::optional<ReqSynth> decode_req_synth(const std::uint8_t* payload, std::size_t length) {
    if (length < kReqSynthSize) return std::nullopt;
    ReqSynth r;
    r.speaker_id = static_cast<std::int32_t>(get_u32(payload));
    r.speed = get_f32(payload + 4);
    r.pitch = get_f32(payload + 8);
    r.volume = get_f32(payload + 12);
    r.text_length = get_u32(payload + 16);
    r.flags = get_u32(payload + 20);
    return r;
}

std::vector<std::uint8_t> encode_info(const InfoReply& info) {
    std::vector<std::uint8_t> out(kInfoReplySize);
    put_u32(out.data(), info.speaker_count);
    put_u32(out.data() + 4, info.sample_rate);
    return out;
}

std::vector<std::uint8_t> encode_audio_chunk(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> out(4 + 2 * samples.size());
    put_u32(out.data(), static_cast<std::uint32_t>(samples.size()));
    std::uint8_t* p = out.data() + 4;
    for (std::int16_t s : samples) {
        put_u16(p, static_cast<std::uint16_t>(s));
        p += 2;
    }
    return out;
}

std::vector<std::uint8_t> encode_timestamps(const std::vector<WordTimestamp>& words) {
    std::vector<std::uint8_t> out(8 * words.size());
    for (std::size_t k = 0; k < words.size(); ++k) {
        put_f32(out.data() + 8 * k, words[k].start);
        put_f32(out.data() + 8 * k + 4, words[k].end);
    }
    return out;
}

std::vector<WordTimestamp> decode_timestamps(const std::uint8_t* payload, std::size_t length) {
    std::vector<WordTimestamp> words(length / 8);
    for (std::size_t k = 0; k < words.size(); ++k) {
        words[k] = {get_f32(payload + 8 * k), get_f32(payload + 8 * k + 4)};
    }
    return words;
}

std::vector<std::uint8_t> encode_word_spans(const std::vector<SpokenWordSpan>& words) {
    std::vector<std::uint8_t> out(4);
    put_u32(out.data(), static_cast<std::uint32_t>(words.size()));
    for (const SpokenWordSpan& w : words) {
        const std::size_t at = out.size();
        out.resize(at + 12 + w.word.size());
        put_u32(out.data() + at, w.offset);
        put_u32(out.data() + at + 4, w.length);
        put_u32(out.data() + at + 8, static_cast<std::uint32_t>(w.word.size()));
        if (!w.word.empty()) std::memcpy(out.data() + at + 12, w.word.data(), w.word.size());
    }
    return out;
}

std::optional<std::vector<SpokenWordSpan>> decode_word_spans(const std::uint8_t* payload,
                                                             std::size_t length) {
    if (length < 4) return std::nullopt;
    const std::uint32_t count = get_u32(payload);
    // Every record takes 12 bytes at least: a count beyond that is a lie.
    if (count > (length - 4) / 12) return std::nullopt;
    std::vector<SpokenWordSpan> words(count);
    std::size_t at = 4;
    for (SpokenWordSpan& w : words) {
        if (length - at < 12) return std::nullopt;
        w.offset = get_u32(payload + at);
        w.length = get_u32(payload + at + 4);
        const std::uint32_t size = get_u32(payload + at + 8);
        at += 12;
        if (size > length - at) return std::nullopt;
        w.word.assign(reinterpret_cast<const char*>(payload + at), size);
        at += size;
    }
    return words;
}

std::vector<std::uint8_t> encode_error(ErrorCode code, std::string_view message) {
    std::vector<std::uint8_t> out(8 + message.size());
    put_u32(out.data(), static_cast<std::uint32_t>(code));
    put_u32(out.data() + 4, static_cast<std::uint32_t>(message.size()));
    if (!message.empty()) std::memcpy(out.data() + 8, message.data(), message.size());
    return out;
}

std::optional<ErrorReply> decode_error(const std::uint8_t* payload, std::size_t length) {
    if (length < 8) return std::nullopt;
    const std::uint32_t message_length = get_u32(payload + 4);
    if (message_length > length - 8) return std::nullopt;
    return ErrorReply{get_u32(payload),
                      std::string(reinterpret_cast<const char*>(payload + 8), message_length)};
}

}  // namespace zelvan_tts
