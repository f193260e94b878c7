#include "engine/text_stages.h"

#include "accentor/accentor_stage.h"
#include "homosolver/homograph_stage.h"
#include "platform/debug_output.h"
#include "text/normalization.h"
#include "text/transliteration.h"

namespace zelvan_tts {

RuntimeSettings settings_for_synthesis() {
    const RuntimeSettings settings = SettingsStore::instance().current();
    if (!settings.enable_homosolver) release_homosolver();
    if (!settings.enable_accentor) release_accentors();
    return settings;
}

ProcessedText process_text(const std::string& text, const std::string& lang,
                           const RuntimeSettings& settings) {
    ProcessedText out;
    out.numbers = normalize_numbers(text, lang);
    // Homographs first: the stress stage leaves the words they mark alone.
    out.homographs = settings.enable_homosolver ? apply_homosolver(out.numbers, lang) : out.numbers;
    out.stress = settings.enable_accentor ? apply_accentor(out.homographs, lang) : out.homographs;
    if (lang == "rus" || lang == "bel" || lang == "ukr") {
        debug_output("[Accentor " + lang + "] Before: " + out.homographs + "\n");
        debug_output("[Accentor " + lang + "] After: " + out.stress + "\n");
    }
    out.script = transliterate(out.stress, lang);
    return out;
}

}  // namespace zelvan_tts
