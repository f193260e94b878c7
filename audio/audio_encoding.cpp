#include "audio/audio_encoding.h"

#include "audio/resampler.h"
#include "shared/audio/wav_writer.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace zelvan_tts {

namespace {

// libsndfile's scale from the highest bit rate (0) to the lowest (1): about
// 80 kbit/s for a mono voice at 48 kHz.
constexpr double kMp3CompressionLevel = 0.85;

struct FormatInfo {
    AudioFormat format;
    const char* name;
    const char* mime;
};

constexpr FormatInfo kFormats[] = {
    {AudioFormat::Wav, "wav", "audio/wav"},
    {AudioFormat::Pcm, "pcm", "audio/pcm"},
    {AudioFormat::Flac, "flac", "audio/flac"},
    {AudioFormat::Opus, "opus", "audio/ogg"},
    {AudioFormat::Mp3, "mp3", "audio/mpeg"},
};

const FormatInfo& info(AudioFormat format) {
    for (const FormatInfo& f : kFormats)
        if (f.format == format) return f;
    return kFormats[0];
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int nearest_rate(int wanted, std::initializer_list<int> rates) {
    for (int r : rates)
        if (r >= wanted) return r;
    return *(rates.end() - 1);
}

// A mono stream's worth of bytes: 16-bit little-endian samples.
void append_pcm16(std::vector<std::uint8_t>& out, const float* samples, std::size_t count) {
    const std::size_t start = out.size();
    out.resize(start + 2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        const float x = std::clamp(samples[i], -1.0f, 1.0f);
        const auto v = static_cast<std::int16_t>(std::lrint(x * 32767.0f));
        out[start + 2 * i] = static_cast<std::uint8_t>(v & 0xFF);
        out[start + 2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
}

}  // namespace

std::optional<AudioFormat> audio_format_from_name(std::string_view name) {
    const std::string n = lower(name);
    if (n == "raw") return AudioFormat::Pcm;
    if (n == "ogg") return AudioFormat::Opus;
    for (const FormatInfo& f : kFormats)
        if (n == f.name) return f.format;
    return std::nullopt;
}

std::optional<AudioFormat> audio_format_from_path(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    return audio_format_from_name(path.substr(dot + 1));
}

const char* audio_format_name(AudioFormat format) { return info(format).name; }

const char* audio_format_mime_type(AudioFormat format) { return info(format).mime; }

int audio_format_rate(AudioFormat format, int wanted) {
    switch (format) {
    case AudioFormat::Opus:
        return nearest_rate(wanted, {8000, 12000, 16000, 24000, 48000});
    case AudioFormat::Mp3:
        return nearest_rate(wanted, {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000});
    default:
        return std::clamp(wanted, 1, 384000);
    }
}

ByteSink file_byte_sink(std::FILE* file) {
    ByteSink sink;
    sink.write = [file](const std::uint8_t* data, std::size_t size) {
        return std::fwrite(data, 1, size, file) == size;
    };
    sink.rewrite = [file](std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
        const long end = std::ftell(file);
        const bool ok = std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
                        std::fwrite(data, 1, size, file) == size;
        return std::fseek(file, end, SEEK_SET) == 0 && ok;
    };
    return sink;
}

struct EncoderState {
    AudioFormat format;
    int rate = 0;
    ByteSink sink;
    std::unique_ptr<Resampler> resampler;
    SNDFILE* sndfile = nullptr;
    // The bytes the sink took, and libsndfile's idea of where it writes:
    // behind the end only when it goes back to finish a header.
    std::uint64_t length = 0;
    std::uint64_t position = 0;
    std::uint64_t pcm_bytes = 0;
    bool refused = false;
    bool finished = false;
    std::vector<std::uint8_t> scratch;

    bool emit(const std::uint8_t* data, std::size_t size) {
        if (refused) return false;
        if (size > 0 && !sink.write(data, size)) refused = true;
        length += size;
        return !refused;
    }

    bool encode(const float* samples, std::size_t count) {
        if (count == 0) return !refused;
        if (sndfile == nullptr) {
            scratch.clear();
            append_pcm16(scratch, samples, count);
            pcm_bytes += scratch.size();
            return emit(scratch.data(), scratch.size());
        }
        sf_writef_float(sndfile, samples, static_cast<sf_count_t>(count));
        return !refused;
    }
};

// libsndfile's virtual I/O over the sink: writes at the end go out at once;
// a write behind the end (a header finished at close) is a rewrite, which
// only a sink that can seek takes.
static sf_count_t vio_get_filelen(void* user) {
    return static_cast<sf_count_t>(static_cast<EncoderState*>(user)->length);
}

static sf_count_t vio_seek(sf_count_t offset, int whence, void* user) {
    auto* s = static_cast<EncoderState*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<sf_count_t>(s->position);
    if (whence == SEEK_END) base = static_cast<sf_count_t>(s->length);
    const sf_count_t target = base + offset;
    if (target < 0 || target > static_cast<sf_count_t>(s->length)) return -1;
    s->position = static_cast<std::uint64_t>(target);
    return target;
}

static sf_count_t vio_read(void*, sf_count_t, void*) { return 0; }

static sf_count_t vio_write(const void* data, sf_count_t count, void* user) {
    auto* s = static_cast<EncoderState*>(user);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t size = static_cast<std::size_t>(count);
    if (s->position < s->length) {
        const std::size_t behind =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, s->length - s->position));
        if (s->sink.rewrite && !s->refused) s->sink.rewrite(s->position, bytes, behind);
        s->position += behind;
        bytes += behind;
        size -= behind;
    }
    if (size > 0) {
        s->emit(bytes, size);
        s->position += size;
    }
    return count;
}

static sf_count_t vio_tell(void* user) {
    return static_cast<sf_count_t>(static_cast<EncoderState*>(user)->position);
}

AudioEncoder::AudioEncoder(AudioFormat format, int input_rate, ByteSink sink, int output_rate)
    : state_(std::make_unique<EncoderState>()) {
    EncoderState& s = *state_;
    s.format = format;
    s.sink = std::move(sink);
    s.rate = audio_format_rate(format, output_rate > 0 ? output_rate : input_rate);
    const std::string what = std::string("Cannot encode audio as ") + audio_format_name(format) + ": ";
    if (!s.sink.write) throw std::runtime_error(what + "no sink");
    if (s.rate != input_rate) s.resampler = std::make_unique<Resampler>(input_rate, s.rate);

    if (format == AudioFormat::Wav) {
        // Length unknown while streaming: the largest sizes the header holds,
        // fixed at the end when the sink can rewrite.
        std::uint8_t header[kWavHeaderBytes];
        make_wav_header(header, static_cast<std::uint32_t>(s.rate), 0xFFFFFFFFu - 36);
        s.emit(header, sizeof header);
        return;
    }
    if (format == AudioFormat::Pcm) return;

    SF_INFO sf{};
    sf.samplerate = s.rate;
    sf.channels = 1;
    if (format == AudioFormat::Flac) sf.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    if (format == AudioFormat::Opus) sf.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
    if (format == AudioFormat::Mp3) sf.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    static SF_VIRTUAL_IO io = {vio_get_filelen, vio_seek, vio_read, vio_write, vio_tell};
    s.sndfile = sf_open_virtual(&io, SFM_WRITE, &sf, &s);
    if (s.sndfile == nullptr) throw std::runtime_error(what + sf_strerror(nullptr));
    // Floats are clipped to [-1, 1] rather than wrapped.
    sf_command(s.sndfile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (format == AudioFormat::Mp3) {
        // A constant bit rate: a stream has no header that tells its length
        // (the VBR tag is written last, over its first frame), and players
        // estimate the length of a variable one from its first frame.
        int mode = SF_BITRATE_MODE_CONSTANT;
        sf_command(s.sndfile, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
        double level = kMp3CompressionLevel;
        sf_command(s.sndfile, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    }
}

AudioEncoder::~AudioEncoder() {
    try {
        finish();
    } catch (...) {
        // A destructor reports nothing; finish() is where failures show.
    }
}

bool AudioEncoder::write(const float* samples, std::size_t count) {
    EncoderState& s = *state_;
    if (s.finished || s.refused) return false;
    if (s.resampler) {
        const std::vector<float> out = s.resampler->process(samples, count);
        return s.encode(out.data(), out.size());
    }
    return s.encode(samples, count);
}

bool AudioEncoder::finish() {
    EncoderState& s = *state_;
    if (s.finished) return !s.refused;
    if (s.resampler && !s.refused) {
        const std::vector<float> rest = s.resampler->flush();
        s.encode(rest.data(), rest.size());
    }
    s.finished = true;
    if (s.sndfile != nullptr) {
        sf_close(s.sndfile);
        s.sndfile = nullptr;
    }
    if (s.format == AudioFormat::Wav && s.sink.rewrite && !s.refused &&
        s.pcm_bytes <= 0xFFFFFFFFu - 36) {
        std::uint8_t header[kWavHeaderBytes];
        make_wav_header(header, static_cast<std::uint32_t>(s.rate),
                        static_cast<std::uint32_t>(s.pcm_bytes));
        s.sink.rewrite(0, header, sizeof header);
    }
    return !s.refused;
}

int AudioEncoder::output_rate() const { return state_->rate; }

AudioFormat AudioEncoder::format() const { return state_->format; }

std::uint64_t AudioEncoder::bytes_written() const { return state_->length; }

}  // namespace zelvan_tts
