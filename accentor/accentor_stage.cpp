#include "accentor/accentor_stage.h"

#include "accentor/accentor.h"
#include "accentor/stress_marks.h"
#include "core/search_paths.h"

namespace zelvan_tts {

StageRegistry<Accentor>& accentor_table() {
    static StageRegistry<Accentor> table;
    return table;
}

std::shared_ptr<Accentor> get_accentor(const std::string& lang) {
    return accentor_table().get(models_root_key() + '\n' + lang, [&lang] {
        auto instance = std::make_shared<Accentor>();
        instance->initialize(lang);
        return instance;
    });
}

void release_accentors() { accentor_table().release(); }

std::string apply_accentor(const std::string& text, const std::string& language) {
    const std::string code = accentor_language(language);
    if (code.empty()) return text;
    try {
        const std::shared_ptr<Accentor> accentor = get_accentor(code);
        if (!accentor->initialized) return text;
        return accentor->process(text);
    } catch (...) {
        return text;
    }
}

}  // namespace zelvan_tts
