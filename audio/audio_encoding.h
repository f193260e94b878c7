// Encoded audio: WAV, raw PCM, FLAC, Ogg Opus and MP3 from mono float
// samples, written as they are made to whatever receives the bytes (a
// socket, a file), with the rate changed on the way when one is asked for.
// Links no LibTorch: the command-line client and the network server share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zelvan_tts {

enum class AudioFormat { Wav, Pcm, Flac, Opus, Mp3 };

// "wav", "pcm" (also "raw"), "flac", "opus" (also "ogg"), "mp3", without
// regard to case; nothing for any other name.
std::optional<AudioFormat> audio_format_from_name(std::string_view name);

// The format a file name's extension asks for (".wav", ".raw", ".pcm",
// ".flac", ".ogg", ".opus", ".mp3"); nothing for another or no extension.
std::optional<AudioFormat> audio_format_from_path(std::string_view path);

const char* audio_format_name(AudioFormat format);    // "wav", "pcm", ...
const char* audio_format_mime_type(AudioFormat format);  // "audio/wav", ...

// The rate the format is written at when `wanted` is asked for (0: the
// input's rate): Opus carries 8, 12, 16, 24 or 48 kHz, MP3 8 to 48 kHz, the
// others any rate from 1 Hz to 384 kHz; an unsupported rate takes the
// nearest one above it, else the highest.
int audio_format_rate(AudioFormat format, int wanted);

// Where encoded bytes go. `write` receives them in order and returns false
// when they can no longer be taken (the reader has gone). `rewrite`, when
// set, overwrites bytes already written (a file): the encoder then fixes
// the lengths in headers when it finishes; without it (a socket) the
// headers say "length unknown", which every reader of these formats takes.
struct ByteSink {
    std::function<bool(const std::uint8_t* data, std::size_t size)> write;
    std::function<bool(std::uint64_t offset, const std::uint8_t* data, std::size_t size)> rewrite;
};

// A sink over an open file (binary mode); the caller closes it.
ByteSink file_byte_sink(std::FILE* file);

struct EncoderState;

class AudioEncoder {
public:
    // Takes mono float samples in [-1, 1] at `input_rate` and writes them as
    // `format` at audio_format_rate(format, output_rate). Throws
    // std::runtime_error "Cannot encode audio as <name>: <reason>".
    AudioEncoder(AudioFormat format, int input_rate, ByteSink sink, int output_rate = 0);
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    // False once the sink refused bytes: stop feeding, the reader is gone.
    bool write(const float* samples, std::size_t count);
    // Writes what the codec still holds and the final headers; false when
    // the sink refused. Called once; the destructor finishes otherwise.
    bool finish();

    int output_rate() const;
    AudioFormat format() const;
    std::uint64_t bytes_written() const;

private:
    std::unique_ptr<EncoderState> state_;
};

}  // namespace zelvan_tts
