// Where the engine finds its data files: below the installation's models
// root when one is set (ZELVAN_TTS_MODEL_PATH here, the registry on Windows),
// else in the "models" directory beside the directory of the running module.
// Paths in and out are UTF-8. Nothing is cached: every call looks afresh.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zelvan_tts {

// While one lives, the searches of this thread look below `root` (UTF-8)
// only, laid out either way below: neither the installation's models root
// nor the models beside the module are consulted. An empty root changes
// nothing. An engine opened with its own models root searches under one.
class ModelsRootScope {
public:
    explicit ModelsRootScope(const std::string& root);
    ~ModelsRootScope();
    ModelsRootScope(const ModelsRootScope&) = delete;
    ModelsRootScope& operator=(const ModelsRootScope&) = delete;

private:
    std::optional<std::string> previous_;
};

// The models root the searches of this thread use: the scope's, else the
// installation's (ZELVAN_TTS_MODEL_PATH here, the registry on Windows).
std::optional<std::string> models_root();

// What tells apart the instances of stages loaded under different scopes.
std::string models_root_key();

// Directory of the program or library file that holds the running code,
// or the one set_module_dir gave.
std::filesystem::path module_dir();

// Makes module_dir() return `dir` for the whole process: a library that
// another library of the installation loads from a folder of its own finds
// the models where that one would.
void set_module_dir(const std::filesystem::path& dir);

// The voice model to load: <root>/multivoice_base.bin when that exists,
// else <module_dir>/../models/tts/multivoice_base.bin (below a scope's root:
// <root>/tts/multivoice_base.bin) in canonical form
// (weakly canonical when it does not exist).
std::filesystem::path find_voice_model_path();

// The stress model of one accentor language ("ru", "by", "ua") as a
// canonical path, or empty when neither root has one. Throws
// std::filesystem_error on a file-system error other than absence.
std::string find_accentor_model(const std::string& lang);

// Where find_accentor_model looks first: below the models root when one
// is set, else below the installation's models folder.
std::string expected_accentor_model(const std::string& lang);

// `file_name` beside the stress model, or empty when it is not there or
// `model_path` is empty.
std::string find_accentor_file(const std::string& model_path, const std::string& file_name);

// The homograph directory: the root's "homosolver" when it holds
// model_emb_q.bin, else the module-relative one, unchecked.
std::string find_homosolver_dir();

}  // namespace zelvan_tts
