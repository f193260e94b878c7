#include "speechd/module_protocol.h"

#include <cerrno>
#include <cmath>
#include <unistd.h>

namespace zelvan_tts::speechd {

namespace {

constexpr char kEscape = 0x7D;

}  // namespace

bool LineReader::read_line(std::string& line) {
    // Where the search for the line's end resumes: a long line is scanned
    // once, not again with every chunk read.
    std::size_t from = start_;
    for (;;) {
        const std::size_t lf = buffer_.find('\n', from);
        if (lf != std::string::npos) {
            std::size_t end = lf;
            if (end > start_ && buffer_[end - 1] == '\r') --end;
            line.assign(buffer_, start_, end - start_);
            start_ = lf + 1;
            return true;
        }
        // Keep only the unfinished line before reading more.
        buffer_.erase(0, start_);
        start_ = 0;
        from = buffer_.size();
        char chunk[65536];
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // An unfinished last line is still a line.
            if (buffer_.empty()) return false;
            line = std::move(buffer_);
            buffer_.clear();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

bool LineReader::read_body(std::vector<std::string>& lines) {
    lines.clear();
    std::string line;
    while (read_line(line)) {
        if (line == ".") return true;
        // A line of a single dot is sent doubled so as not to end the body.
        if (line == "..") line = ".";
        lines.push_back(std::move(line));
    }
    return false;
}

bool has_body(std::string_view command) {
    return command == "SPEAK" || command == "CHAR" || command == "KEY" ||
           command == "SOUND_ICON" || command == "SET" || command == "AUDIO" ||
           command == "LOGLEVEL";
}

std::string join_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> parse_settings(
    const std::vector<std::string>& lines) {
    std::vector<std::pair<std::string, std::string>> settings;
    for (const std::string& line : lines) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            settings.emplace_back(line, std::string());
        else
            settings.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return settings;
}

std::vector<std::int16_t> to_pcm16(const float* samples, std::size_t count) {
    std::vector<std::int16_t> pcm(count);
    for (std::size_t i = 0; i < count; ++i) {
        float v = samples[i];
        if (!(v == v)) v = 0.0f;  // NaN
        const float scaled = std::nearbyint(v * 32767.0f);
        pcm[i] = static_cast<std::int16_t>(scaled > 32767.0f    ? 32767
                                           : scaled < -32768.0f ? -32768
                                                                : scaled);
    }
    return pcm;
}

std::string audio_event(const std::int16_t* samples, std::size_t count, int sample_rate) {
    std::string event = "705-bits=16\n705-num_channels=1\n705-sample_rate=" +
                        std::to_string(sample_rate) +
                        "\n705-num_samples=" + std::to_string(count) +
                        "\n705-big_endian=0\n705-AUDIO";
    event.reserve(event.size() + 2 * count + count / 64 + 16);
    event += '\0';
    for (std::size_t i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint16_t>(samples[i]);
        for (const char byte : {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}) {
            if (byte == '\n' || byte == kEscape) {
                event += kEscape;
                event += static_cast<char>(byte ^ 0x20);
            } else {
                event += byte;
            }
        }
    }
    event += "\n705 AUDIO\n";
    return event;
}

std::string hdlc_unescape(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == kEscape && i + 1 < data.size())
            out += static_cast<char>(data[++i] ^ 0x20);
        else
            out += data[i];
    }
    return out;
}

std::string index_mark_event(std::string_view name) {
    std::string one_line(name);
    for (char& c : one_line)
        if (c == '\n' || c == '\r') c = ' ';
    return "700-" + one_line + "\n700 INDEX MARK\n";
}

std::string icon_event(std::string_view name) {
    std::string one_line(name);
    for (char& c : one_line)
        if (c == '\n' || c == '\r') c = ' ';
    return "706-" + one_line + "\n706 ICON\n";
}

}  // namespace zelvan_tts::speechd
