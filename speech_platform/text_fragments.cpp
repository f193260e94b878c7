#include "speech_platform/text_fragments.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <regex>
#include <stdexcept>

namespace zelvan_tts::speech_platform {

void fragment_list::add(SPVACTIONS action, com::wstring text, ULONG offset, LONG pitch_middle,
                        ULONG silence_ms) {
    texts_.push_back(std::make_unique<com::wstring>(std::move(text)));
    auto fragment = std::make_unique<SPVTEXTFRAG>();
    *fragment = SPVTEXTFRAG{};
    fragment->State.eAction = action;
    fragment->State.Volume = 100;
    fragment->State.PitchAdj.MiddleAdj = pitch_middle;
    fragment->State.SilenceMSecs = silence_ms;
    fragment->State.ePartOfSpeech = SPPS_Unknown;
    fragment->pTextStart = texts_.back()->c_str();
    fragment->ulTextLen = static_cast<ULONG>(texts_.back()->size());
    fragment->ulTextSrcOffset = offset;
    if (!fragments_.empty()) fragments_.back()->pNext = fragment.get();
    fragments_.push_back(std::move(fragment));
}

namespace {

long parse_number(const std::string& text, const std::string& tag) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        throw std::invalid_argument("Not a number in <" + tag + ">: \"" + text + "\"");
    }
    return value;
}

}  // namespace

fragment_list parse_text(const std::string& utf8) {
    const com::wstring text = com::to_wide(utf8);
    fragment_list out;
    std::vector<LONG> pitch_stack;
    int spell_depth = 0;
    LONG pitch = 0;

    com::wstring run;
    std::size_t run_start = 0;
    const auto flush = [&](std::size_t next_start) {
        if (!run.empty()) {
            out.add(spell_depth > 0 ? SPVA_SpellOut : SPVA_Speak, run,
                    static_cast<ULONG>(run_start), pitch);
        }
        run.clear();
        run_start = next_start;
    };

    static const std::regex bookmark(R"re(<bookmark\s+mark\s*=\s*"([^"]*)"\s*/>)re");
    static const std::regex pitch_open(R"re(<pitch\s+middle\s*=\s*"([^"]*)"\s*>)re");
    static const std::regex silence(R"re(<silence\s+msec\s*=\s*"([^"]*)"\s*/>)re");

    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != u'<') {
            if (run.empty()) run_start = i;
            run.push_back(text[i++]);
            continue;
        }
        const std::size_t close = text.find(u'>', i);
        if (close == com::wstring::npos) {
            throw std::invalid_argument("A tag is not closed: " + com::to_utf8(text.substr(i)));
        }
        const std::string tag = com::to_utf8(text.substr(i, close + 1 - i));
        std::smatch m;
        if (std::regex_match(tag, m, bookmark)) {
            flush(close + 1);
            // The name's offset: where its text sits inside the tag.
            const std::size_t name_at = text.find(u'"', i) + 1;
            out.add(SPVA_Bookmark, com::to_wide(m[1].str()), static_cast<ULONG>(name_at));
        } else if (std::regex_match(tag, m, pitch_open)) {
            flush(close + 1);
            pitch_stack.push_back(pitch);
            pitch += static_cast<LONG>(parse_number(m[1].str(), "pitch"));
        } else if (tag == "</pitch>") {
            if (pitch_stack.empty()) throw std::invalid_argument("</pitch> without <pitch>");
            flush(close + 1);
            pitch = pitch_stack.back();
            pitch_stack.pop_back();
        } else if (tag == "<spell>") {
            flush(close + 1);
            ++spell_depth;
        } else if (tag == "</spell>") {
            if (spell_depth == 0) throw std::invalid_argument("</spell> without <spell>");
            flush(close + 1);
            --spell_depth;
        } else if (std::regex_match(tag, m, silence)) {
            flush(close + 1);
            const long ms = parse_number(m[1].str(), "silence");
            if (ms < 0) throw std::invalid_argument("A negative silence: " + tag);
            out.add(SPVA_Silence, com::wstring(), static_cast<ULONG>(i), 0, static_cast<ULONG>(ms));
        } else {
            throw std::invalid_argument("Unknown or malformed tag: " + tag);
        }
        i = close + 1;
    }
    flush(text.size());
    if (!pitch_stack.empty()) throw std::invalid_argument("<pitch> is not closed");
    if (spell_depth != 0) throw std::invalid_argument("<spell> is not closed");
    return out;
}

}  // namespace zelvan_tts::speech_platform
