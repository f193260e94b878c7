#include "core/search_paths.h"

#include "platform/model_path_setting.h"
#include "platform/module_path.h"
#include "platform/utf8_path.h"

#include <mutex>
#include <vector>

namespace zelvan_tts {

namespace fs = std::filesystem;

namespace {

// An installation keeps its programs in one directory and the models in a
// "models" directory beside it.
thread_local std::optional<std::string> scoped_root;

// An engine's own root stands alone: nothing is looked for beside the module.
fs::path default_models_root() {
    if (scoped_root) return path_from_utf8(*scoped_root);
    return module_dir() / ".." / "models";
}

}  // namespace

ModelsRootScope::ModelsRootScope(const std::string& root) : previous_(scoped_root) {
    if (!root.empty()) scoped_root = root;
}

ModelsRootScope::~ModelsRootScope() { scoped_root = previous_; }

std::optional<std::string> models_root() {
    if (scoped_root) return scoped_root;
    return read_model_path_setting();
}

std::string models_root_key() { return scoped_root.value_or(std::string()); }

namespace {

std::mutex module_dir_mutex;
fs::path given_module_dir;  // under module_dir_mutex

}  // namespace

fs::path module_dir() {
    {
        const std::lock_guard<std::mutex> lock(module_dir_mutex);
        if (!given_module_dir.empty()) return given_module_dir;
    }
    return running_module_file().parent_path();
}

void set_module_dir(const fs::path& dir) {
    const std::lock_guard<std::mutex> lock(module_dir_mutex);
    given_module_dir = dir;
}

fs::path find_voice_model_path() {
    constexpr const char* kFile = "multivoice_base.bin";
    if (const auto root = models_root()) {
        const fs::path candidate = path_from_utf8(*root) / kFile;
        if (fs::exists(candidate)) return candidate;
    }
    // The default location has a "tts" level that the installation root has not.
    const fs::path candidate = default_models_root() / "tts" / kFile;
    return fs::exists(candidate) ? fs::canonical(candidate) : fs::weakly_canonical(candidate);
}

std::string find_accentor_model(const std::string& lang) {
    const fs::path relative = fs::path("accentor") / path_from_utf8(lang) / "zelvan_accentor.bin";
    std::vector<fs::path> candidates;
    if (const auto root = models_root()) {
        candidates.push_back(path_from_utf8(*root) / relative);
    }
    candidates.push_back(default_models_root() / relative);
    for (const fs::path& candidate : candidates) {
        if (fs::exists(candidate)) return path_to_utf8(fs::canonical(candidate));
    }
    return {};
}

std::string expected_accentor_model(const std::string& lang) {
    const fs::path relative = fs::path("accentor") / path_from_utf8(lang) / "zelvan_accentor.bin";
    if (const auto root = models_root()) return path_to_utf8(path_from_utf8(*root) / relative);
    return path_to_utf8((default_models_root() / relative).lexically_normal());
}

std::string find_accentor_file(const std::string& model_path, const std::string& file_name) {
    if (model_path.empty()) return {};
    const fs::path candidate = path_from_utf8(model_path).parent_path() / path_from_utf8(file_name);
    return fs::exists(candidate) ? path_to_utf8(candidate) : std::string();
}

std::string find_homosolver_dir() {
    if (const auto root = models_root()) {
        const fs::path candidate = path_from_utf8(*root) / "homosolver";
        if (fs::exists(candidate / "model_emb_q.bin")) {
            return path_to_utf8(fs::weakly_canonical(fs::absolute(candidate)));
        }
    }
    return path_to_utf8(fs::weakly_canonical(default_models_root() / "homosolver"));
}

}  // namespace zelvan_tts
