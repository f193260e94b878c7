#include "text/speech_items.h"

#include "shared/symbols/code_points.h"

#include <algorithm>
#include <cmath>

namespace zelvan_tts {

namespace {

ByteSpan span_at(const SpeechItem& item, std::size_t i) {
    return i < item.source.size() ? item.source[i] : ByteSpan{};
}

ByteSpan element_of(const SpeechItem& item) {
    return item.source.empty() ? ByteSpan{} : item.source.front();
}

}  // namespace

bool operator==(const Prosody& a, const Prosody& b) {
    return a.rate == b.rate && a.pitch == b.pitch && a.volume == b.volume;
}

SpeechItem plain_text_item(std::string_view text) {
    SpeechItem item;
    item.text.assign(text);
    item.source.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) item.source.push_back({i, 1});
    return item;
}

SpokenText spoken_text(const std::vector<SpeechItem>& items) {
    SpokenText out;
    const auto append = [&](std::string_view s, ByteSpan from) {
        out.text.append(s);
        out.source.insert(out.source.end(), s.size(), from);
    };
    for (const SpeechItem& item : items) {
        switch (item.kind) {
            case SpeechItem::Kind::Mark:
                out.marks.push_back({item.text, out.text.size(), element_of(item)});
                break;
            case SpeechItem::Kind::Break:
            case SpeechItem::Kind::Tone:
                append(" ", element_of(item));
                break;
            case SpeechItem::Kind::Text:
                if (!item.characters && item.source.size() == item.text.size()) {
                    out.text.append(item.text);
                    out.source.insert(out.source.end(), item.source.begin(), item.source.end());
                    break;
                }
                if (!item.characters) {
                    append(item.text, ByteSpan{});
                    break;
                }
                // Spelled: each character a word of its own.
                for (std::size_t pos = 0; pos < item.text.size();) {
                    const std::size_t start = pos;
                    decode_utf8(item.text, pos);
                    append(" ", span_at(item, start));
                    for (std::size_t i = start; i < pos; ++i)
                        append(std::string_view(item.text).substr(i, 1), span_at(item, i));
                }
                if (!item.text.empty()) append(" ", span_at(item, item.text.size() - 1));
                break;
        }
    }
    return out;
}

ByteSpan SpokenText::document_span(std::size_t offset, std::size_t length) const {
    if (source.empty()) return {offset, length};
    if (offset >= source.size() || length == 0) return {};
    const std::size_t end = std::min(offset + length, source.size());
    std::size_t begin_at = source[offset].offset;
    std::size_t end_at = begin_at;
    for (std::size_t i = offset; i < end; ++i) {
        begin_at = std::min(begin_at, source[i].offset);
        end_at = std::max(end_at, source[i].offset + source[i].length);
    }
    return {begin_at, end_at - begin_at};
}

std::vector<SpeechSegment> speech_segments(const std::vector<SpeechItem>& items) {
    std::vector<SpeechSegment> out;
    std::vector<SpeechItem> run;  // text and marks of one synthesis
    Prosody prosody;
    int voice = -1;
    bool has_text = false;
    const auto flush = [&] {
        if (run.empty()) return;
        SpeechSegment s;
        s.spoken = spoken_text(run);
        s.prosody = prosody;
        s.voice = voice;
        out.push_back(std::move(s));
        run.clear();
        has_text = false;
    };
    for (const SpeechItem& item : items) {
        switch (item.kind) {
            case SpeechItem::Kind::Mark:
                run.push_back(item);
                break;
            case SpeechItem::Kind::Text:
                if (has_text && (!(item.prosody == prosody) || item.voice != voice)) flush();
                if (!has_text) {
                    prosody = item.prosody;
                    voice = item.voice;
                }
                has_text = true;
                run.push_back(item);
                break;
            case SpeechItem::Kind::Break:
            case SpeechItem::Kind::Tone: {
                flush();
                SpeechSegment s;
                s.kind = item.kind == SpeechItem::Kind::Break ? SpeechSegment::Kind::Pause
                                                              : SpeechSegment::Kind::Tone;
                s.pause_ms = item.break_ms;
                s.prosody = item.prosody;
                s.voice = item.voice;
                out.push_back(std::move(s));
                break;
            }
        }
    }
    flush();
    return out;
}

std::vector<float> capital_tone(int sample_rate, float gain) {
    const std::size_t n = static_cast<std::size_t>(sample_rate) * 60 / 1000;
    const std::size_t fade = static_cast<std::size_t>(sample_rate) * 5 / 1000;
    std::vector<float> tone(n);
    for (std::size_t i = 0; i < n; ++i) {
        const float edge = static_cast<float>(std::min({i, n - 1 - i, fade})) / fade;
        tone[i] = 0.3f * gain * edge *
                  std::sin(2.0f * 3.14159265f * 1200.0f * static_cast<float>(i) / sample_rate);
    }
    return tone;
}

}  // namespace zelvan_tts
