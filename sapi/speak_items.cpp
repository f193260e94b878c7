#include "sapi/speak_items.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zelvan_tts::sapi {

namespace {

bool ends_sentence(WCHAR c) { return c == u'.' || c == u'!' || c == u'?'; }

constexpr float kSpeedTable[21] = {
    0.333333f, 0.372041f, 0.415244f, 0.463463f, 0.517282f, 0.57735f,  0.644394f,
    0.719223f, 0.802742f, 0.895958f, 1.0f,      1.116123f, 1.245731f, 1.390389f,
    1.551846f, 1.732051f, 1.933182f, 2.157669f, 2.408225f, 2.687875f, 3.0f,
};

}  // namespace

bool is_white_space(WCHAR c) {
    return (c >= 0x0009 && c <= 0x000D) || c == 0x0020 || c == 0x0085 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A && c != 0x2007) || c == 0x2028 || c == 0x2029 ||
           c == 0x205F || c == 0x3000;
}

std::vector<TextSpan> split_fragment_sentences(com::wstring_view text) {
    std::vector<TextSpan> pieces;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (is_white_space(text[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < n) {
            const WCHAR c = text[j++];
            if (ends_sentence(c) && (j == n || is_white_space(text[j]))) break;
        }
        std::size_t end = j;
        while (end > i && is_white_space(text[end - 1])) --end;
        if (end > i) pieces.push_back({i, end - i});
        i = j;
    }
    if (pieces.empty() && n > 0) {
        std::size_t begin = 0;
        std::size_t end = n;
        while (begin < end && is_white_space(text[begin])) ++begin;
        while (end > begin && is_white_space(text[end - 1])) --end;
        if (end > begin) pieces.push_back({begin, end - begin});
    }
    return pieces;
}

std::vector<TextSpan> split_words(com::wstring_view text) {
    std::vector<TextSpan> words;
    std::size_t i = 0;
    while (i < text.size()) {
        if (is_white_space(text[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < text.size() && !is_white_space(text[i])) ++i;
        words.push_back({start, i - start});
    }
    return words;
}

float speed_for_rate(LONG rate) { return kSpeedTable[std::clamp<LONG>(rate, -10, 10) + 10]; }

float pitch_for_adjustment(LONG middle_adjustment) {
    if (middle_adjustment == 0) return 1.0f;
    const LONG m = std::clamp<LONG>(middle_adjustment, -24, 24);
    return static_cast<float>(std::pow(2.0, m / 12.0));
}

float volume_factor(USHORT volume) { return std::min(static_cast<float>(volume) * 0.01f, 1.0f); }

WPARAM bookmark_number(const com::wstring& name) {
    // The standard string-to-unsigned-long conversion, on the ASCII form
    // (the digits and blanks it reads are all ASCII).
    std::string narrow;
    for (WCHAR c : name) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '\x7f');
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(narrow.c_str(), &end, 10);
    if (end == narrow.c_str() || errno == ERANGE) return 0;
    // A leading minus is not a number of a bookmark.
    const auto first = narrow.find_first_not_of(" \t\n\v\f\r");
    if (first != std::string::npos && narrow[first] == '-') return 0;
    return static_cast<WPARAM>(value);
}

std::vector<SpeakItem> build_items(const SPVTEXTFRAG* fragments) {
    std::vector<SpeakItem> items;
    for (const SPVTEXTFRAG* f = fragments; f != nullptr; f = f->pNext) {
        const com::wstring_view text = f->pTextStart == nullptr
                                           ? com::wstring_view()
                                           : com::wstring_view(f->pTextStart, f->ulTextLen);
        switch (f->State.eAction) {
            case SPVA_Bookmark: {
                SpeakItem item;
                item.is_bookmark = true;
                item.bookmark_name = com::wstring(text);
                item.bookmark_length = static_cast<std::uint32_t>(text.size());
                items.push_back(std::move(item));
                break;
            }
            case SPVA_Speak:
            case SPVA_SpellOut: {
                if (text.empty()) break;
                const float pitch = pitch_for_adjustment(f->State.PitchAdj.MiddleAdj);
                for (const TextSpan& piece : split_fragment_sentences(text)) {
                    SpeakItem item;
                    item.wide_text = com::wstring(text.substr(piece.offset, piece.length));
                    item.text = com::to_utf8(item.wide_text);
                    item.src_offset = static_cast<std::int32_t>(piece.offset + f->ulTextSrcOffset);
                    item.length = static_cast<std::int32_t>(piece.length);
                    item.pitch = pitch;
                    items.push_back(std::move(item));
                }
                break;
            }
            default:
                break;
        }
    }
    return items;
}

ULONGLONG word_offset(ULONGLONG audio_offset, float start, ULONGLONG bytes) {
    // A negative or NaN start would make the conversion undefined: it means
    // the start of the piece.
    const double position = static_cast<double>(start) * 96000.0;
    ULONGLONG within = 0;
    if (position > 0.0) {
        within = position >= static_cast<double>(bytes) ? bytes : static_cast<ULONGLONG>(position);
    }
    return audio_offset + within;
}

}  // namespace zelvan_tts::sapi
