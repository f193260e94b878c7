#include "engine/text_stages.h"

#include "accentor/accentor_stage.h"
#include "homosolver/homograph_stage.h"
#include "homosolver/homograph_window.h"
#include "platform/debug_output.h"
#include "text/normalization.h"
#include "text/transliteration.h"

#include <algorithm>

namespace zelvan_tts {

RuntimeSettings settings_for_synthesis() {
    const RuntimeSettings settings = SettingsStore::instance().current();
    if (!settings.enable_homosolver) release_homosolver();
    if (!settings.enable_accentor) release_accentors();
    return settings;
}

namespace {

bool is_sentence_space(char c) { return c == ' ' || c == '\n' || c == '\t'; }
bool is_piece_break(char c) { return is_sentence_space(c) || c == '\r'; }

// The text around a block that the homograph step reads, cut at white space
// so that numbers at its edges are spelled as in the whole text.
std::string_view context_before(std::string_view text, std::size_t begin) {
    std::size_t from = begin > kHomographContextBytes + 1 ? begin - kHomographContextBytes - 1 : 0;
    while (from > 0 && from < begin && !is_piece_break(text[from - 1])) ++from;
    return text.substr(from, begin - from);
}

std::string_view context_after(std::string_view text, std::size_t end) {
    std::size_t to = std::min(text.size(), end + kHomographContextBytes + 1);
    while (to < text.size() && to > end && !is_piece_break(text[to])) --to;
    return text.substr(end, to - end);
}

}  // namespace

ProcessedText process_block(std::string_view text, std::size_t begin, std::size_t end,
                            const std::string& lang, const RuntimeSettings& settings,
                            const LogSink& log) {
    ProcessedText out;
    out.numbers = normalize_numbers(text.substr(begin, end - begin), lang);
    if (settings.enable_homosolver && lang == "rus") {
        // The homograph step reads the words around a block as the whole
        // text would show them to it.
        const std::string before = normalize_numbers(context_before(text, begin), lang);
        const std::string after = normalize_numbers(context_after(text, end), lang);
        out.homographs = apply_homosolver(before + out.numbers + after, before.size(),
                                          before.size() + out.numbers.size(), lang);
    } else {
        out.homographs = out.numbers;
    }
    // Homographs first: the stress stage leaves the words they mark alone.
    out.stress = settings.enable_accentor ? apply_accentor(out.homographs, lang) : out.homographs;
    if (lang == "rus" || lang == "bel" || lang == "ukr") {
        const auto write = [&log](const std::string& line) {
            if (log) {
                log(line);
            } else {
                debug_output(line + "\n");
            }
        };
        write("[Accentor " + lang + "] Before: " + out.homographs);
        write("[Accentor " + lang + "] After: " + out.stress);
    }
    out.script = transliterate(out.stress, lang);
    return out;
}

ProcessedText process_text(const std::string& text, const std::string& lang,
                           const RuntimeSettings& settings, const LogSink& log) {
    ProcessedText out;
    std::size_t begin = 0;
    do {
        const std::size_t end = text_block_end(text, begin);
        ProcessedText block = process_block(text, begin, end, lang, settings, log);
        out.numbers += block.numbers;
        out.homographs += block.homographs;
        out.stress += block.stress;
        out.script += block.script;
        begin = end;
    } while (begin < text.size());
    return out;
}

}  // namespace zelvan_tts
