#include "homosolver/homograph_stage.h"

#include "homosolver/homosolver.h"

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
    if (language != "rus") return text;
    try {
        const HomoSolver& solver = get_homosolver();
        if (!solver.initialized) return text;
        return solver.resolve(text);
    } catch (...) {
        return text;
    }
}

}  // namespace zelvan_tts
