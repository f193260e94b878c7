// Stress models and dictionaries for the tests, packed with the program key
// like an installation's files. The test model scores each word by looking
// its clean form up in the n-gram list it is given (ngram_dict, UNK for the
// rest) and reading that row of its embedding, so the logits are the test's
// own. Nothing here needs LibTorch's headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelvan_tts::test_models {

// How the model stores the embedding its forward reads.
enum class StressEmbedding {
    // int8 weight q = L / 0.5 + 8 j per column j, with scale 0.5 and
    // zero_point 8 j: only the restored weight gives the logits L back, and
    // the raw q favours later columns.
    Quantised,
    // The logits as a float weight; no scale or zero_point attributes.
    Plain,
    // Float weight holding L; scale None, zero_point 8 j. Restoring anyway
    // would change the choices.
    ScaleNone,
    // Float weight holding L; scale j + 1, zero_point None.
    ZeroPointNone,
    // No `embedding` submodule at all; forward returns zeros.
    Missing,
    // `embedding.ngram_dict` maps strings to floats; forward returns zeros.
    WrongDictType,
};

// What forward returns.
enum class StressOutput {
    StressAndYo,      // (stress, yo)
    StressOnly,       // (stress, None)
    TooFewRows,       // (stress without its last row, yo)
    NotTuple,         // stress alone
    OneElement,       // (stress,)
    StressNone,       // (None, yo)
    StressNotTensor,  // (3, yo)
    ExtraElements,    // (stress, yo, 7)
    Raising,          // fails with "test stress model failure"
};

// One n-gram the model knows, with the logits it gives a word of that clean
// form. Shorter rows are padded with -50.
struct StressWord {
    std::string ngram;
    std::vector<float> stress;  // column j: the j-th vowel
    std::vector<float> yo;      // column 0: no ё; column m: the m-th е
};

struct StressModelDesign {
    std::vector<StressWord> words;  // n-gram order; UNK follows with all-zero logits
    std::int64_t stress_columns = 4;
    std::int64_t yo_columns = 3;
    StressEmbedding embedding = StressEmbedding::Quantised;
    StressOutput output = StressOutput::StressAndYo;
};

// The n-gram list that goes with the model: its words, one per line.
std::string ngram_list(const StressModelDesign& design);

// Writes the packed stress model to `path` (UTF-8).
void write_stress_model(const std::string& path, const StressModelDesign& design);

// Writes `text` gzipped and encrypted, as ngrams.bin and exceptions.bin are.
void write_gzip_data_file(const std::string& path, const std::string& text);

// A stress model shaped like a real one, for timing rather than for its
// answers: each word's character trigrams are looked up in ngram_dict (UNK for
// unknown ones), averaged over an int8-quantised embedding table, and scored
// by a two-layer network. Words are expected as clean forms (two bytes per
// letter). Random weights, fixed seed.
struct NgramStressModelDesign {
    std::vector<std::string> ngrams;  // the n-gram list, in order
    std::int64_t embedding_dim = 64;
    std::int64_t hidden_size = 128;
    std::int64_t stress_columns = 8;
    std::int64_t yo_columns = 3;
};

// The character trigrams of a clean word, as the n-gram model reads them.
std::vector<std::string> character_trigrams(const std::string& clean);

// Writes the packed n-gram stress model to `path` (UTF-8).
void write_ngram_stress_model(const std::string& path, const NgramStressModelDesign& design);

// Writes zelvan_accentor.bin and ngrams.bin into `dir` (created when
// missing), and exceptions.bin when `exceptions` is not empty.
void write_stress_language(const std::string& dir, const StressModelDesign& design,
                           const std::string& exceptions = {});

}  // namespace zelvan_tts::test_models
