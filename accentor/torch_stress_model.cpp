#include "accentor/torch_stress_model.h"

#include "core/encrypted_module.h"

#include <torch/script.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelvan_tts {

namespace {

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

        torch::jit::Module table = embedding.toModule();
        restore_quantised_weight(table, scale.toTensor(), zero_point.toTensor());
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

// Takes the list of words; answers (stress logits [W, C], yo logits [W, C]
// or None).
class TorchStressModel : public StressModel {
public:
    explicit TorchStressModel(torch::jit::Module module) : module_(std::move(module)) {}

    bool take_ngrams(const std::unordered_map<std::string, std::int32_t>& index) override {
        try {
            c10::Dict<std::string, std::int64_t> dict;
            dict.reserve(index.size());
            for (const auto& [ngram, position] : index) dict.insert_or_assign(ngram, position);
            torch::jit::Module embedding = module_.attr("embedding").toModule();
            embedding.setattr("ngram_dict", dict);
        } catch (...) {
            return false;
        }
        return true;
    }

    bool choose(std::vector<std::string> words, StressChoices& out) const override {
        const auto word_count = static_cast<std::int64_t>(words.size());
        c10::List<std::string> list;
        list.reserve(words.size());
        for (std::string& word : words) list.push_back(std::move(word));

        c10::InferenceMode inference;
        const c10::IValue output = module_.forward({c10::IValue(list)});
        if (!output.isTuple()) return false;
        const auto& elements = output.toTupleRef().elements();
        if (elements.size() < 2) return false;

        if (!elements[0].isTensor() ||
            !choose_columns(elements[0].toTensor(), word_count, out.stress)) {
            return false;
        }
        out.has_yo = elements[1].isTensor();
        if (out.has_yo) return choose_columns(elements[1].toTensor(), word_count, out.yo);
        out.yo.clear();
        return true;
    }

    torch::jit::Module& module() { return module_; }

private:
    // forward is not const in LibTorch, but calls on one module may overlap.
    mutable torch::jit::Module module_;
};

}  // namespace

std::unique_ptr<StressModel> load_stress_model(const std::string& path, std::string* problem) {
    torch::NoGradGuard no_grad;
    torch::jit::Module module;
    try {
        load_encrypted_module_explained(path, module);
        module.eval();
    } catch (const std::exception& e) {
        if (problem != nullptr) *problem = error_line(e);
        return nullptr;
    } catch (...) {
        if (problem != nullptr) *problem = "Failed to load model: " + path;
        return nullptr;
    }
    restore_quantised_embedding(module);
    return std::make_unique<TorchStressModel>(std::move(module));
}

torch::jit::Module* stress_module(StressModel& model) {
    auto* torch_model = dynamic_cast<TorchStressModel*>(&model);
    return torch_model ? &torch_model->module() : nullptr;
}

}  // namespace zelvan_tts
