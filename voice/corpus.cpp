#include "voice/corpus.h"

#include "voice/phone_set.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zelvan_tts::voice {

namespace {

std::string slurp(const std::string& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("Cannot read the ") + what + ": " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return std::move(s).str();
}

std::uint32_t le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::uint16_t le16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

struct Pcm {
    int rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;  // first channel
};

// RIFF chunks in any order; only 16-bit PCM.
Pcm parse_wav(const std::string& bytes, const std::string& path) {
    const std::runtime_error bad("Not a 16-bit PCM WAV file: " + path);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        throw bad;
    Pcm pcm;
    bool format = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        std::size_t size = le32(bytes, at + 4);
        const std::size_t body = at + 8;
        if (body + size > bytes.size()) size = bytes.size() - body;  // a cut-off data chunk
        if (id == "fmt " && size >= 16) {
            if (le16(bytes, body) != 1 || le16(bytes, body + 14) != 16) throw bad;
            pcm.channels = le16(bytes, body + 2);
            pcm.rate = static_cast<int>(le32(bytes, body + 4));
            format = pcm.channels > 0;
        } else if (id == "data" && format) {
            const std::size_t frames = size / (2u * static_cast<std::size_t>(pcm.channels));
            pcm.samples.resize(frames);
            for (std::size_t i = 0; i < frames; ++i)
                pcm.samples[i] = static_cast<std::int16_t>(
                    le16(bytes, body + 2 * i * static_cast<std::size_t>(pcm.channels)));
            return pcm;
        }
        at = body + size + (size & 1u);
    }
    throw bad;
}

}  // namespace

std::vector<Utterance> read_prompts(const std::string& corpus_dir) {
    const std::string path = corpus_dir + "/etc/txt.done.data";
    std::istringstream in(slurp(path, "prompt file"));
    std::vector<Utterance> out;
    std::string line;
    while (std::getline(in, line)) {
        // ( ru_0001 "text" )
        const std::size_t name_at = line.find("ru_");
        const std::size_t open = line.find('"');
        const std::size_t close = line.rfind('"');
        if (name_at == std::string::npos || open == std::string::npos || close <= open) continue;
        Utterance u;
        u.name = line.substr(name_at, 7);
        u.number = std::atoi(u.name.c_str() + 3);
        u.text = line.substr(open + 1, close - open - 1);
        out.push_back(std::move(u));
    }
    if (out.empty()) throw std::runtime_error("No sentence in the prompt file: " + path);
    return out;
}

std::vector<PhoneLabel> read_labels(const std::string& corpus_dir, const std::string& name) {
    const std::string path = corpus_dir + "/lab/" + name + ".lab";
    std::istringstream in(slurp(path, "phone labels"));
    std::vector<PhoneLabel> out;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        double end = 0.0;
        int colour = 0;
        std::string phone;
        if (!(fields >> end >> colour >> phone)) continue;  // the "#" header
        const int id = phone_id(phone);
        if (id < 0) throw std::runtime_error("Unknown phone " + phone + " in " + path);
        out.push_back({id, end});
    }
    return out;
}

std::vector<std::int16_t> read_recording(const std::string& corpus_dir, const std::string& name) {
    const std::string path = corpus_dir + "/wav/" + name + ".wav";
    Pcm pcm = parse_wav(slurp(path, "recording"), path);
    if (pcm.rate != kCorpusRate || pcm.channels != 1)
        throw std::runtime_error("Not a 16 kHz mono recording: " + path);
    return std::move(pcm.samples);
}

Audio read_wav(const std::string& path) {
    const Pcm pcm = parse_wav(slurp(path, "audio file"), path);
    Audio a;
    a.rate = pcm.rate;
    a.samples.reserve(pcm.samples.size());
    for (std::int16_t s : pcm.samples) a.samples.push_back(static_cast<float>(s) / 32768.0f);
    return a;
}

}  // namespace zelvan_tts::voice
