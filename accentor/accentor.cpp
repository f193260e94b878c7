#include "accentor/accentor.h"

#include "accentor/stress_marks.h"
#include "engine/data_files.h"
#include "engine/encrypted_module.h"
#include "engine/search_paths.h"

#include <torch/script.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

namespace zelvan_tts {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The stored embedding is S * (W - Z) kept as W; the model needs it restored
// once at load. A model without the three attributes (or with any of them
// None) keeps its weight as stored, and so does one where the arithmetic fails.
void restore_quantised_embedding(torch::jit::Module& module) {
    try {
        if (!module.hasattr("embedding") || !module.hasattr("scale") ||
            !module.hasattr("zero_point")) {
            return;
        }
        const c10::IValue embedding = module.attr("embedding");
        const c10::IValue scale = module.attr("scale");
        const c10::IValue zero_point = module.attr("zero_point");
        if (embedding.isNone() || scale.isNone() || zero_point.isNone()) return;

        const torch::jit::Module table = embedding.toModule();
        const at::Tensor s = scale.toTensor();
        const at::Tensor z = zero_point.toTensor();
        const at::Tensor w = table.attr("weight").toTensor().clone();
        const at::Tensor restored = s * w.sub(z, 1);
        for (const auto& parameter : table.named_parameters(/*recurse=*/true)) {
            if (parameter.name == "weight") {
                // The parameter object stays; its storage, shape and type become
                // the restored tensor's, so the model's code sees the new values.
                at::Tensor(parameter.value).set_data(restored);
                break;
            }
        }
    } catch (...) {
        // The model runs with the embedding as stored.
    }
}

template <typename Scalar>
void choose_rows(const at::Tensor& scores, std::int64_t rows, std::vector<std::int64_t>& out) {
    const std::int64_t columns = scores.size(1);
    const Scalar* data = scores.data_ptr<Scalar>();
    std::vector<Scalar> probability(static_cast<std::size_t>(columns));
    out.assign(static_cast<std::size_t>(rows), 0);
    for (std::int64_t r = 0; r < rows; ++r) {
        const Scalar* row = data + r * columns;
        bool has_nan = false;
        Scalar top = -std::numeric_limits<Scalar>::infinity();
        std::int64_t first_top = 0;
        for (std::int64_t c = 0; c < columns; ++c) {
            if (std::isnan(row[c])) {
                has_nan = true;
            } else if (row[c] > top) {
                top = row[c];
                first_top = c;
            }
        }
        // A row the softmax turns into NaN (a NaN, or no finite maximum)
        // chooses column 0, as arg max over NaN does.
        if (has_nan || !std::isfinite(top)) continue;

        // Only a logit within a hair of the maximum can round to the same
        // probability; without such a rival the largest logit is the choice.
        const Scalar near = top - std::max<Scalar>(Scalar(1e-3), std::abs(top) * Scalar(1e-3));
        bool rival = false;
        for (std::int64_t c = 0; c < columns; ++c) rival |= c != first_top && row[c] >= near;
        if (!rival) {
            out[static_cast<std::size_t>(r)] = first_top;
            continue;
        }
        Scalar sum = 0;
        for (std::int64_t c = 0; c < columns; ++c) {
            probability[c] = std::exp(row[c] - top);
            sum += probability[c];
        }
        std::int64_t best = 0;
        for (std::int64_t c = 0; c < columns; ++c) {
            probability[c] /= sum;
            if (probability[c] > probability[best]) best = c;
        }
        out[static_cast<std::size_t>(r)] = best;
    }
}

// The choice per word: arg max (the first on ties) of the softmax over a
// row. Computed here rather than by tensor operations: for a thousand short
// rows the operator overhead would cost more than the arithmetic. False for
// scores that do not have a row per word or are not real numbers.
bool choose_columns(const at::Tensor& scores, std::int64_t words, std::vector<std::int64_t>& out) {
    if (scores.dim() != 2 || scores.size(0) < words || scores.size(1) < 1 ||
        !scores.is_floating_point()) {
        return false;
    }
    if (scores.scalar_type() == at::kDouble) {
        choose_rows<double>(scores.contiguous(), words, out);
    } else {
        choose_rows<float>(scores.to(at::kFloat).contiguous(), words, out);
    }
    return true;
}

}  // namespace

Accentor::Accentor() = default;
Accentor::~Accentor() = default;

void Accentor::initialize(const std::string& code) {
    lang = code;
    const VowelSets vowels = vowel_sets(code);
    vowels_lower = vowels.lower;
    vowels_upper = vowels.upper;

    const std::string model_path = find_accentor_model(code);
    const std::string ngrams_path = find_accentor_file(model_path, "ngrams.bin");
    const std::string exceptions_path = find_accentor_file(model_path, "exceptions.bin");
    if (model_path.empty() || ngrams_path.empty()) return;

    if (!load_model(model_path)) return;
    if (!load_ngrams(ngrams_path)) {
        model.reset();
        return;
    }
    // Without an exception list the language works on the model alone.
    if (!exceptions_path.empty()) load_exceptions(exceptions_path);
    initialized = true;
}

bool Accentor::load_model(const std::string& path) {
    torch::NoGradGuard no_grad;
    auto module = std::make_unique<torch::jit::Module>();
    try {
        if (!load_encrypted_module(path, *module)) return false;
        module->eval();
    } catch (...) {
        return false;
    }
    restore_quantised_embedding(*module);
    model = std::move(module);
    return true;
}

bool Accentor::load_ngrams(const std::string& path) {
    const std::string text = decrypt_gzip_file(path);
    if (text.empty()) return false;

    // A repeated n-gram takes its last position; the counter runs on anyway.
    std::int32_t k = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && is_space(text[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && !is_space(text[pos])) ++pos;
        if (pos > start) ngram_index[text.substr(start, pos - start)] = k++;
    }
    ngram_index.emplace("UNK", k);

    try {
        c10::Dict<std::string, std::int64_t> dict;
        dict.reserve(ngram_index.size());
        for (const auto& [ngram, index] : ngram_index) dict.insert_or_assign(ngram, index);
        torch::jit::Module embedding = model->attr("embedding").toModule();
        embedding.setattr("ngram_dict", dict);
    } catch (...) {
        return false;
    }
    return !ngram_index.empty();
}

bool Accentor::load_exceptions(const std::string& path) {
    const std::string text = decrypt_gzip_file(path);
    if (text.empty()) return false;

    std::istringstream lines(text);
    std::istringstream fields;
    std::string line;
    while (std::getline(lines, line)) {
        fields.clear();
        fields.str(line);
        std::string word;
        StressException entry;
        if (fields >> word >> entry.stress >> entry.yo) exceptions[word] = entry;
    }
    return true;
}

std::string Accentor::process(const std::string& text) const {
    if (text.empty() || !model) return text;

    std::vector<TokenRecord> records = split_words(text);
    std::vector<std::size_t> word_records;
    c10::List<std::string> words;
    words.reserve(records.size());
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (!records[r].is_word) continue;
        word_records.push_back(r);
        words.push_back(records[r].clean);
    }
    if (word_records.empty()) return text;
    const auto word_count = static_cast<std::int64_t>(word_records.size());

    std::vector<std::int64_t> stress_choice;
    std::vector<std::int64_t> yo_choice;
    bool yo_enabled = false;
    {
        c10::InferenceMode inference;
        const c10::IValue output = model->forward({c10::IValue(words)});
        if (!output.isTuple()) return text;
        const auto& elements = output.toTupleRef().elements();
        if (elements.size() < 2) return text;

        if (!elements[0].isTensor() ||
            !choose_columns(elements[0].toTensor(), word_count, stress_choice)) {
            return text;
        }
        yo_enabled = elements[1].isTensor();
        if (yo_enabled && !choose_columns(elements[1].toTensor(), word_count, yo_choice)) {
            return text;
        }
    }
    const VowelLookup lookup = vowel_lookup(vowels_lower, vowels_upper, lang == "ru");
    VowelPositions positions;
    for (std::size_t i = 0; i < word_records.size(); ++i) {
        TokenRecord& record = records[word_records[i]];
        if (record.text.find('+') != std::string::npos) continue;  // already marked

        const std::int64_t s = stress_choice[i];
        const std::int64_t y = yo_enabled ? yo_choice[i] : -1;
        const auto exception = exceptions.find(record.clean);
        if (exception != exceptions.end()) {
            if (yo_enabled && exception->second.yo != -1) {
                record.text = set_yo(std::move(record.text), exception->second.yo);
            }
            record.text = insert_stress_mark(std::move(record.text), exception->second.stress);
            continue;
        }

        vowel_positions(record.clean, lookup, positions);
        const auto& vowels = positions.vowels;
        if (vowels.empty()) continue;
        if (vowels.size() == 1) {
            record.text = insert_stress_mark(std::move(record.text), vowels[0]);
            continue;
        }
        if (s < 0 || s >= static_cast<std::int64_t>(vowels.size())) continue;
        const int p = vowels[static_cast<std::size_t>(s)];
        const auto& ye = positions.ye;
        if (yo_enabled && y > 0 && y <= static_cast<std::int64_t>(ye.size()) &&
            ye[static_cast<std::size_t>(y - 1)] == p) {
            record.text = set_yo(std::move(record.text), p);
        }
        record.text = insert_stress_mark(std::move(record.text), p);
    }

    std::string out;
    out.reserve(text.size() + word_records.size());
    for (const TokenRecord& record : records) out += record.text;
    return out;
}

}  // namespace zelvan_tts
