// What Speak makes of the platform's fragments before it synthesises: the
// sentence pieces, bookmarks, speed, pitch and volume of one call, and the
// words of a piece that word events point at.
#pragma once

#include "com/sdk.h"
#include "com/wide_string.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelvan_tts::sapi {

struct SpeakItem {
    bool is_bookmark = false;
    std::string text;             // UTF-8
    std::int32_t src_offset = 0;  // in the caller's text, UTF-16 code units
    std::int32_t length = 0;      // UTF-16 code units
    float pitch = 1.0f;
    com::wstring wide_text;
    com::wstring bookmark_name;
    std::uint32_t bookmark_length = 0;
};

// A range of a fragment's text.
struct TextSpan {
    std::size_t offset;
    std::size_t length;
};

// White space for pieces and words, the same whatever locale the host set
// or never set (the C locale knows only ASCII): tab to carriage return,
// U+0085 and the Unicode space and line separators, as the Windows C
// runtime's iswspace counts them; but not the no-break spaces U+00A0,
// U+2007 and U+202F, which that counts too, since they join what they
// stand between.
bool is_white_space(WCHAR c);

// Sentences of a fragment: a piece ends after ".", "!" or "?" followed by
// white space or the end; white space around pieces is dropped.
std::vector<TextSpan> split_fragment_sentences(com::wstring_view text);

// Maximal runs of non-white-space characters.
std::vector<TextSpan> split_words(com::wstring_view text);

// 3^(rate / 10) for the rate clamped to -10..10, as a fixed table.
float speed_for_rate(LONG rate);

// 2^(m / 12) for the middle adjustment clamped to -24..24; exactly 1 for 0.
float pitch_for_adjustment(LONG middle_adjustment);

// volume / 100, at most 1.
float volume_factor(USHORT volume);

// A bookmark name as its wParam: the leading decimal number, 0 when there is
// none or it does not fit.
WPARAM bookmark_number(const com::wstring& name);

// The items of a fragment list, in order.
std::vector<SpeakItem> build_items(const SPVTEXTFRAG* fragments);

// The audio offset of a word that starts `start` seconds into a piece at
// `audio_offset` of `bytes` bytes: never before the piece, never past it.
ULONGLONG word_offset(ULONGLONG audio_offset, float start, ULONGLONG bytes);

}  // namespace zelvan_tts::sapi
