#include "engine/text_stages.h"

#include "text/normalization.h"
#include "text/transliteration.h"

namespace zelvan_tts {

ProcessedText process_text(const std::string& text, const std::string& lang) {
    ProcessedText out;
    out.numbers = normalize_numbers(text, lang);
    out.homographs = out.numbers;
    out.stress = out.homographs;
    out.script = transliterate(out.stress, lang);
    return out;
}

}  // namespace zelvan_tts
