#include "homosolver/homograph_stage.h"

#include "homosolver/homosolver.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace zelvan_tts {

namespace {

struct HomoSolverSlot {
    std::mutex mutex;
    std::unique_ptr<HomoSolver> instance;
};

HomoSolverSlot& homosolver_slot() {
    static HomoSolverSlot slot;
    return slot;
}

}  // namespace

HomoSolver& get_homosolver() {
    HomoSolverSlot& slot = homosolver_slot();
    const std::lock_guard<std::mutex> lock(slot.mutex);
    if (!slot.instance) {
        // Filled only once initialisation has returned: if it throws, the
        // half-built instance goes and the next text tries again.
        auto instance = std::make_unique<HomoSolver>();
        instance->initialize();
        slot.instance = std::move(instance);
    }
    return *slot.instance;
}

void release_homosolver() {
    HomoSolverSlot& slot = homosolver_slot();
    const std::lock_guard<std::mutex> lock(slot.mutex);
    slot.instance.reset();
}

std::string apply_homosolver(const std::string& text, const std::string& language) {
    return apply_homosolver(text, 0, text.size(), language);
}

std::string apply_homosolver(std::string_view text, std::size_t begin, std::size_t end,
                             const std::string& language) {
    end = std::min(end, text.size());
    begin = std::min(begin, end);
    const std::string_view part = text.substr(begin, end - begin);
    if (language != "rus") return std::string(part);
    try {
        const HomoSolver& solver = get_homosolver();
        if (!solver.initialized) return std::string(part);
        return solver.resolve(text, begin, end);
    } catch (...) {
        return std::string(part);
    }
}

}  // namespace zelvan_tts
