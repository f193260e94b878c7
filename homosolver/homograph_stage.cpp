#include "homosolver/homograph_stage.h"

#include "homosolver/homosolver.h"
#include "core/search_paths.h"
#include "core/stage_registry.h"
#include "shared/symbols/languages.h"

#include <algorithm>
#include <memory>

namespace zelvan_tts {

namespace {

StageRegistry<HomoSolver>& homosolver_registry() {
    static StageRegistry<HomoSolver> registry;
    return registry;
}

}  // namespace

std::shared_ptr<HomoSolver> get_homosolver() {
    return homosolver_registry().get(models_root_key(), [] {
        auto instance = std::make_shared<HomoSolver>();
        instance->initialize();
        return instance;
    });
}

void release_homosolver() { homosolver_registry().release(); }

std::string apply_homosolver(const std::string& text, const std::string& language) {
    return apply_homosolver(text, 0, text.size(), language);
}

std::string apply_homosolver(std::string_view text, std::size_t begin, std::size_t end,
                             const std::string& language) {
    end = std::min(end, text.size());
    begin = std::min(begin, end);
    const std::string_view part = text.substr(begin, end - begin);
    if (!language_profile(language).homographs) return std::string(part);
    try {
        const std::shared_ptr<HomoSolver> solver = get_homosolver();
        if (!solver->initialized) return std::string(part);
        return solver->resolve(text, begin, end);
    } catch (...) {
        return std::string(part);
    }
}

}  // namespace zelvan_tts
