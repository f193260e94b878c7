// The stress model of one language with its n-gram and exception lists, and
// the stress stage proper.
#pragma once

#include "accentor/stress_model.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace zelvan_tts {

// Fixed stress and ё of one word, as code-point indices into its clean form.
struct StressException {
    std::int32_t stress = 0;
    std::int32_t yo = -1;  // -1: no ё
};

// One accentor language ("ru", "by", "ua"). Either initialised (model and
// n-gram list loaded, exceptions possibly empty) or permanently not.
class Accentor {
public:
    Accentor();
    ~Accentor();
    Accentor(const Accentor&) = delete;
    Accentor& operator=(const Accentor&) = delete;

    // Finds and loads the language's three files below the models root and
    // sets `initialized` when the model and the n-gram list are in place.
    // Throws std::filesystem_error only when the search meets a file-system
    // error other than absence.
    void initialize(const std::string& lang);

    // Loads the encrypted stress model at `path` in evaluation mode and
    // restores its quantised embedding. False when it cannot be read or loaded.
    bool load_model(const std::string& path);

    // Reads the n-gram list and hands it to the model. False when the list
    // is unreadable or the model takes no n-gram index.
    bool load_ngrams(const std::string& path);

    // Reads the exception list; lines that do not parse are skipped.
    bool load_exceptions(const std::string& path);

    // `text` with stress marks (and ё for Russian) from the model and the
    // exception list. Returns the text unchanged when the model's output is
    // not of the expected kind; model errors propagate.
    std::string process(const std::string& text) const;

    bool initialized = false;
    // Why it is not initialised: one line with the file's path and the
    // reason; empty when it is.
    std::string problem;
    // The stress model it loaded.
    std::string model_path;
    std::string lang;
    std::unique_ptr<StressModel> model;
    std::unordered_map<std::string, std::int32_t> ngram_index;
    std::unordered_map<std::string, StressException> exceptions;
    std::string vowels_lower;
    std::string vowels_upper;
};

}  // namespace zelvan_tts
