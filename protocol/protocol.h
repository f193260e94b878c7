// The messages between the synthesis server and its clients. Every message
// is an 8-byte header (type, payload length; little-endian 32-bit) followed
// by exactly that many payload bytes. No version, no magic, no checksum.
#pragma once

#include "shared/bytes/little_endian.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

class PipeConnection;
struct WordTimestamp;

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
};

enum class ErrorCode : std::uint32_t {
    PayloadTooSmall = 1,  // a Synthesize payload shorter than its 28-byte record
    TextTruncated = 2,    // fewer text bytes than the record announces
    SynthesisFailed = 3,  // the synthesis raised; the message is its text
};

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kReqSynthSize = 28;
inline constexpr std::size_t kInfoReplySize = 8;

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
};

struct InfoReply {
    std::uint32_t speaker_count;
    std::uint32_t sample_rate;
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
std::vector<std::uint8_t> encode_error(ErrorCode code, std::string_view message);
std::optional<ErrorReply> decode_error(const std::uint8_t* payload, std::size_t length);

}  // namespace zelvan_tts
