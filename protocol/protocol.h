// The messages between the synthesis server and its clients. Every message
// is an 8-byte header (type, payload length; little-endian 32-bit) followed
// by exactly that many payload bytes. No version, no magic, no checksum.
#pragma once

#include "shared/audio/word_timestamp.h"
#include "shared/bytes/little_endian.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

class PipeConnection;

enum class MessageType : std::uint32_t {
    GetInfo = 1,
    Synthesize = 2,
    Cancel = 3,
    GetReport = 4,  // what the server loaded; answered by Report

    Shutdown = 99,
    Info = 101,
    AudioChunk = 102,
    SynthesisDone = 103,
    Error = 104,
    Report = 105,  // UTF-8 lines, each ending in a line feed (Engine::loaded_report)
    // Each timed word as spoken and its bytes of the request's text; sent
    // just before SynthesisDone, and only when the Synthesize record asks.
    WordSpans = 106,
};

enum class ErrorCode : std::uint32_t {
    PayloadTooSmall = 1,  // a Synthesize payload shorter than its 28-byte record
    TextTruncated = 2,    // fewer text bytes than the record announces
    SynthesisFailed = 3,  // the synthesis raised; the message is its text
};

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kReqSynthSize = 28;
inline constexpr std::size_t kInfoReplySize = 8;

// ReqSynth::flags. A server that predates a flag reads none of them and
// answers as it always did, so a client learns what the server did from
// the replies alone.
inline constexpr std::uint32_t kWantWordSpans = 1u << 0;  // WordSpans before SynthesisDone

// Reads and writes give up after 30 s without completing.
inline constexpr int kTransferTimeoutMs = 30000;

// The server will not take a message larger than this; the protocol has no
// error code for it, so the connection is closed instead.
inline constexpr std::uint32_t kMaxPayloadSize = 16u << 20;

struct MessageHeader {
    std::uint32_t type;
    std::uint32_t length;
};

// Payload of Synthesize: this record, then `text_length` bytes of UTF-8.
struct ReqSynth {
    std::int32_t speaker_id = 0;
    float speed = 1.0f;
    float pitch = 1.0f;
    float volume = 1.0f;
    std::uint32_t text_length = 0;
    std::uint32_t flags = 0;  // at offset 20; the 4 bytes after it stay zero
};

struct InfoReply {
    std::uint32_t speaker_count;
    std::uint32_t sample_rate;
};

// One record of WordSpans: a timed word as the voice spoke it (stress marks
// included) and the bytes of the request's text it comes from.
struct SpokenWordSpan {
    std::string word;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

struct ErrorReply {
    std::uint32_t code;
    std::string message;
};

MessageHeader decode_header(const std::uint8_t* bytes);

// Reads exactly `count` bytes within the transfer time-out.
bool read_exact(PipeConnection& pipe, void* buffer, std::size_t count);

// Reads one whole message (header, then exactly `length` payload bytes) in
// the way clients do: no size limit of its own. False when the connection
// failed or timed out.
bool read_message(PipeConnection& pipe, MessageHeader& header, std::vector<std::uint8_t>& payload);

// Writes the header, then the payload when there is one. True only if every
// byte was written within the time-out.
bool send_message(PipeConnection& pipe, MessageType type, const void* payload, std::size_t length);

// Payload builders and readers, shared by the server and the client.
std::vector<std::uint8_t> encode_req_synth(const ReqSynth& request, std::string_view text);
std::optional<ReqSynth> decode_req_synth(const std::uint8_t* payload, std::size_t length);
std::vector<std::uint8_t> encode_info(const InfoReply& info);
std::vector<std::uint8_t> encode_audio_chunk(const std::vector<std::int16_t>& samples);
std::vector<std::uint8_t> encode_timestamps(const std::vector<WordTimestamp>& words);
std::vector<WordTimestamp> decode_timestamps(const std::uint8_t* payload, std::size_t length);
// WordSpans: a 32-bit count, then for each word its offset, its length and
// the byte size of the spoken word, 32 bits each, then the word's bytes.
std::vector<std::uint8_t> encode_word_spans(const std::vector<SpokenWordSpan>& words);
std::optional<std::vector<SpokenWordSpan>> decode_word_spans(const std::uint8_t* payload,
                                                             std::size_t length);
std::vector<std::uint8_t> encode_error(ErrorCode code, std::string_view message);
std::optional<ErrorReply> decode_error(const std::uint8_t* payload, std::size_t length);

}  // namespace zelvan_tts
