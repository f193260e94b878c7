#include "accentor/accentor_stage.h"

#include "accentor/accentor.h"
#include "accentor/stress_marks.h"

namespace zelvan_tts {

AccentorTable& accentor_table() {
    static AccentorTable table;
    return table;
}

std::shared_ptr<Accentor> get_accentor(const std::string& lang) {
    AccentorTable& table = accentor_table();
    std::lock_guard<std::mutex> lock(table.mutex);
    std::shared_ptr<Accentor>& entry = table.instances[lang];
    if (!entry) {
        // A search that throws leaves no instance behind, so the next text
        // tries again; a plain failure is kept until the next release.
        auto instance = std::make_shared<Accentor>();
        try {
            instance->initialize(lang);
        } catch (...) {
            table.instances.erase(lang);
            throw;
        }
        entry = std::move(instance);
    }
    return entry;
}

void release_accentors() {
    // The instances are destroyed outside the lock: freeing a model takes a
    // while and needs no protection.
    std::unordered_map<std::string, std::shared_ptr<Accentor>> released;
    {
        AccentorTable& table = accentor_table();
        std::lock_guard<std::mutex> lock(table.mutex);
        released.swap(table.instances);
    }
}

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
