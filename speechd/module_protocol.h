// The line protocol between speech-dispatcher and its output modules: requests
// arrive on standard input one per line, some followed by a body of lines
// closed by a line holding a single dot; replies, events and audio blocks go
// out on standard output. Only LF separates lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelvan_tts::speechd {

// Reads lines from a file descriptor, whatever their length.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}

    // The next line without its LF (and without a CR before it); false at the
    // end of the input or on a read error.
    bool read_line(std::string& line);

    // The lines of a body up to its closing dot line, with the dot a line of
    // its own had to be doubled into turned back into one; false when the
    // input ends first.
    bool read_body(std::vector<std::string>& lines);

private:
    int fd_;
    std::string buffer_;
    std::size_t start_ = 0;
};

// True for the requests that carry a dot-terminated body.
bool has_body(std::string_view command);

// The body of a message as one text, lines joined by LF.
std::string join_lines(const std::vector<std::string>& lines);

// name=value lines; a line without '=' gives an empty value and a name that
// is the whole line.
std::vector<std::pair<std::string, std::string>> parse_settings(
    const std::vector<std::string>& lines);

// Float samples in [-1, 1] to signed 16-bit, rounded and clamped.
std::vector<std::int16_t> to_pcm16(const float* samples, std::size_t count);

// The AUDIO event carrying mono 16-bit little-endian samples, its data
// HDLC-escaped so that it never holds an LF.
std::string audio_event(const std::int16_t* samples, std::size_t count, int sample_rate);

// The inverse of the escaping audio_event applies, for readers of the
// protocol (tests, benchmarks).
std::string hdlc_unescape(std::string_view data);

// The INDEX MARK event; a name is sent on one line, so line breaks in it
// become blanks.
std::string index_mark_event(std::string_view name);

// The ICON event asking the server to play a sound icon.
std::string icon_event(std::string_view name);

}  // namespace zelvan_tts::speechd
