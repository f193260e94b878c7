// What the stress stage asks of its model: take the n-gram index once, then
// choose a stress column (and a ё column, when the model has them) per word.
// No LibTorch here: the TorchScript model is one implementation
// (torch_stress_model.cpp), and a test can put a plain C++ model in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zelvan_tts {

// One column per word: the stress among the word's vowels, and for ё the
// position among its е and ё plus one (0: none).
struct StressChoices {
    std::vector<std::int64_t> stress;
    std::vector<std::int64_t> yo;
    bool has_yo = false;  // false: the model decides no ё and `yo` is empty
};

class StressModel {
public:
    virtual ~StressModel() = default;

    // Hands the model the n-gram index (n-gram -> position). False when the
    // model takes none.
    virtual bool take_ngrams(const std::unordered_map<std::string, std::int32_t>& index) = 0;

    // The choices for `words` (clean forms), one per word. False when the
    // model's output is not of the expected kind; throws when the model
    // fails. Called from several threads at once.
    virtual bool choose(std::vector<std::string> words, StressChoices& out) const = 0;
};

// The encrypted TorchScript stress model at `path` (UTF-8) in evaluation
// mode, its quantised embedding restored. Null when the file cannot be read
// or loaded; `problem`, when given, then receives the one-line reason with
// the path (load_encrypted_module_explained).
std::unique_ptr<StressModel> load_stress_model(const std::string& path,
                                               std::string* problem = nullptr);

}  // namespace zelvan_tts
