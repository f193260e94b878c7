#include "engine/text_stages.h"

#include "accentor/accentor_stage.h"
#include "homosolver/homograph_stage.h"
#include "homosolver/homograph_window.h"
#include "platform/debug_output.h"
#include "shared/symbols/languages.h"
#include "text/normalization.h"
#include "text/stress_accents.h"
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

// The text around a block that the homograph step reads, spelled as the
// steps before it spell it: at least kHomographContextBytes + 1 bytes of it,
// or all there is. The caller's text is cut at white space, so that the
// pieces at its edges are spelled as in the whole text.
template <typename Spell>
std::string context_before(std::string_view text, std::size_t begin, Spell spell) {
    for (std::size_t want = kHomographContextBytes + 1;; want *= 2) {
        std::size_t from = begin > want ? begin - want : 0;
        while (from > 0 && from < begin && !is_piece_break(text[from - 1])) ++from;
        std::string spelled = spell(text.substr(from, begin - from));
        if (spelled.size() > kHomographContextBytes || begin <= want) return spelled;
    }
}

template <typename Spell>
std::string context_after(std::string_view text, std::size_t end, Spell spell) {
    for (std::size_t want = kHomographContextBytes + 1;; want *= 2) {
        std::size_t to = std::min(text.size(), end + want);
        while (to < text.size() && to > end && !is_piece_break(text[to])) --to;
        std::string spelled = spell(text.substr(end, to - end));
        if (spelled.size() > kHomographContextBytes || end + want >= text.size()) return spelled;
    }
}

}  // namespace

ProcessedText process_block(std::string_view text, std::size_t begin, std::size_t end,
                            const std::string& lang, const TextStepsOptions& options) {
    const bool reading = options.settings.enable_reading && has_written_forms(lang);
    // A form the user's dictionary reads is left to the dictionary.
    KeepWritten keep;
    if (options.dictionary != nullptr) {
        keep = [&](std::string_view written) {
            return options.dictionary->apply(written, lang) != written;
        };
    }
    // The steps before the homographs, which may turn a piece into several.
    const auto spell = [&](std::string_view part) {
        std::string spelled = normalize_numbers(
            stress_accents_to_marks(reading ? read_written_forms(part, lang, keep) : std::string(part)),
            lang);
        return options.dictionary ? options.dictionary->apply(spelled, lang) : spelled;
    };
    ProcessedText out;
    if (reading) {
        out.reading = read_written_forms(text, begin, end, lang, keep, &out.reading_edits);
        // The edits count from the block's start, as its words do.
        for (ReadingEdit& e : out.reading_edits) {
            e.begin -= begin;
            e.end -= begin;
        }
    } else {
        out.reading.assign(text.substr(begin, end - begin));
    }
    out.numbers = normalize_numbers(stress_accents_to_marks(out.reading), lang);
    out.dictionary =
        options.dictionary ? options.dictionary->apply(out.numbers, lang) : out.numbers;
    if (options.settings.enable_homosolver && language_profile(lang).homographs) {
        // The homograph step reads the words around a block as the whole
        // text would show them to it.
        const std::string before = context_before(text, begin, spell);
        const std::string after = context_after(text, end, spell);
        out.homographs = apply_homosolver(before + out.dictionary + after, before.size(),
                                          before.size() + out.dictionary.size(), lang);
    } else {
        out.homographs = out.dictionary;
    }
    // Homographs first: the stress stage leaves the words they mark alone.
    out.stress =
        options.settings.enable_accentor ? apply_accentor(out.homographs, lang) : out.homographs;
    if (language_profile(lang).stress_lines) {
        const auto write = [&options](const std::string& line) {
            if (options.log) {
                options.log(line);
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
                           const TextStepsOptions& options) {
    ProcessedText out;
    std::size_t begin = 0;
    do {
        const std::size_t end = text_block_end(text, begin);
        ProcessedText block = process_block(text, begin, end, lang, options);
        for (ReadingEdit e : block.reading_edits) {
            e.begin += begin;
            e.end += begin;
            e.out_begin += out.reading.size();
            e.out_end += out.reading.size();
            out.reading_edits.push_back(e);
        }
        out.reading += block.reading;
        out.numbers += block.numbers;
        out.dictionary += block.dictionary;
        out.homographs += block.homographs;
        out.stress += block.stress;
        out.script += block.script;
        begin = end;
    } while (begin < text.size());
    return out;
}

ProcessedText process_text(const std::string& text, const std::string& lang,
                           const RuntimeSettings& settings) {
    TextStepsOptions options;
    options.settings = settings;
    return process_text(text, lang, options);
}

}  // namespace zelvan_tts
