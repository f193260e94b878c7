// The voice engine's fragment splitting on arbitrary fragment lists: actions
// the engine does not know, missing texts, lone surrogates, any offsets and
// pitch values. Nothing but white space may get lost from spoken fragments,
// every piece lies inside its fragment, and the UTF-8 handed to the pipeline
// is well formed. The numeric helpers of a Speak call stay in their ranges.
#include "fuzz/fuzz_support.h"
#include "sapi/speak_items.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace zelvan_tts;
using namespace zelvan_tts::sapi;

namespace {

com::wstring non_blank(com::wstring_view text) {
    com::wstring kept;
    for (WCHAR c : text) {
        if (!is_white_space(c)) kept.push_back(c);
    }
    return kept;
}

// Well-formed UTF-8: no surrogates, no overlong forms, nothing above U+10FFFF.
bool valid_utf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t cp = 0;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            cp = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

float float_of(fuzz::InputCursor& input) {
    std::uint32_t bits = 0;
    for (int k = 0; k < 4; ++k) bits = (bits << 8) | input.byte();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

struct FragmentInput {
    std::unique_ptr<SPVTEXTFRAG> fragment;
    std::unique_ptr<com::wstring> text;  // null: the fragment has no text
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputCursor input(data, size);

    // The numeric helpers, on values a site may report.
    const LONG rate = static_cast<std::int8_t>(input.byte()) * 3;
    const float speed = speed_for_rate(rate);
    if (!(speed >= 0.33f && speed <= 3.0f)) std::abort();
    const LONG middle = static_cast<std::int8_t>(input.byte());
    const float pitch = pitch_for_adjustment(middle);
    if (!(pitch >= 0.25f && pitch <= 4.0f)) std::abort();
    const float volume = volume_factor(static_cast<USHORT>(input.byte() << 8 | input.byte()));
    if (!(volume >= 0.0f && volume <= 1.0f)) std::abort();
    const ULONGLONG audio_offset = input.byte() * 9600ull;
    const ULONGLONG bytes = input.byte() * 2ull;
    const ULONGLONG word = word_offset(audio_offset, float_of(input), bytes);
    if (word < audio_offset || word > audio_offset + bytes) std::abort();

    // The fragment list: per fragment an action (unknown ones included), a
    // pitch, a source offset and a text of UTF-16 code units, or no text.
    std::vector<FragmentInput> fragments;
    const std::size_t count = input.byte() % 17;
    for (std::size_t n = 0; n < count; ++n) {
        FragmentInput f;
        f.fragment = std::make_unique<SPVTEXTFRAG>();
        std::memset(f.fragment.get(), 0, sizeof(SPVTEXTFRAG));
        f.fragment->State.eAction = static_cast<SPVACTIONS>(input.byte() % 8);
        f.fragment->State.PitchAdj.MiddleAdj = static_cast<std::int8_t>(input.byte()) * 1000;
        f.fragment->ulTextSrcOffset = static_cast<ULONG>(input.byte()) << (input.byte() % 25);
        const std::size_t length = input.byte();
        if (length != 255) {
            f.text = std::make_unique<com::wstring>();
            for (std::size_t k = 0; k < length; ++k) {
                // Mostly a small alphabet with spaces and sentence ends, so
                // that pieces form; sometimes any code unit at all.
                const std::uint8_t kind = input.byte();
                static constexpr WCHAR kCommon[] = {u' ',      u'.',     u'!',      u'?',
                                                    u'\n',     u'a',     u'\x0436', u'\xD83D',
                                                    u'\xDE00', u'\x3000'};
                f.text->push_back(kind < 200 ? kCommon[kind % 10]
                                             : static_cast<WCHAR>(input.byte() << 8 | kind));
            }
            f.fragment->pTextStart = f.text->data();
            f.fragment->ulTextLen = static_cast<ULONG>(f.text->size());
        }
        fragments.push_back(std::move(f));
    }
    for (std::size_t n = 0; n + 1 < fragments.size(); ++n) {
        fragments[n].fragment->pNext = fragments[n + 1].fragment.get();
    }

    const std::vector<SpeakItem> items =
        build_items(fragments.empty() ? nullptr : fragments.front().fragment.get());

    // The list's items are those of its fragments one by one, in order; each
    // fragment's are checked against its text.
    std::size_t next = 0;
    for (const FragmentInput& f : fragments) {
        SPVTEXTFRAG alone = *f.fragment;
        alone.pNext = nullptr;
        const std::vector<SpeakItem> own = build_items(&alone);
        for (const SpeakItem& item : own) {
            if (next >= items.size()) std::abort();
            const SpeakItem& listed = items[next++];
            if (listed.is_bookmark != item.is_bookmark || listed.wide_text != item.wide_text ||
                listed.src_offset != item.src_offset ||
                listed.bookmark_name != item.bookmark_name) {
                std::abort();
            }
        }

        const com::wstring_view text = f.text ? com::wstring_view(*f.text) : com::wstring_view();
        const SPVACTIONS action = alone.State.eAction;
        if (action == SPVA_Bookmark) {
            if (own.size() != 1 || !own[0].is_bookmark || own[0].bookmark_name != text)
                std::abort();
            bookmark_number(own[0].bookmark_name);
            continue;
        }
        if (action != SPVA_Speak && action != SPVA_SpellOut) {
            if (!own.empty()) std::abort();
            continue;
        }

        com::wstring spoken;
        std::size_t previous_end = 0;
        for (const SpeakItem& item : own) {
            const std::size_t start = static_cast<ULONG>(item.src_offset - alone.ulTextSrcOffset);
            if (item.is_bookmark || start < previous_end) std::abort();
            if (start + item.wide_text.size() > text.size()) std::abort();
            if (text.substr(start, item.wide_text.size()) != item.wide_text) std::abort();
            if (item.length != static_cast<std::int32_t>(item.wide_text.size())) std::abort();
            if (item.wide_text.empty() || is_white_space(item.wide_text.front()) ||
                is_white_space(item.wide_text.back())) {
                std::abort();
            }
            if (!valid_utf8(item.text)) std::abort();
            if (item.pitch != pitch_for_adjustment(alone.State.PitchAdj.MiddleAdj)) std::abort();
            com::wstring words;
            for (const TextSpan& w : split_words(item.wide_text)) {
                if (w.length == 0 || w.offset + w.length > item.wide_text.size()) std::abort();
                words += item.wide_text.substr(w.offset, w.length);
            }
            if (words != non_blank(item.wide_text)) std::abort();
            spoken += item.wide_text;
            previous_end = start + item.wide_text.size();
        }
        if (non_blank(spoken) != non_blank(text)) std::abort();
    }
    if (next != items.size()) std::abort();
    return 0;
}
