#include "homosolver/torch_homograph_model.h"

#include "core/encrypted_module.h"

#include <torch/script.h>

#include <algorithm>

namespace zelvan_tts {

namespace {

// Turns the stored quantised word-embedding table into floats, once:
// scale * (weight - zero_point). A model that lacks any of the pieces keeps
// its table as stored.
void restore_word_embeddings(torch::jit::Module& module) {
    try {
        const torch::jit::Module bert = module.attr("bert").toModule();
        const torch::jit::Module embeddings = bert.attr("embeddings").toModule();
        torch::jit::Module word_embeddings = embeddings.attr("word_embeddings").toModule();
        const at::Tensor scale = bert.attr("scale").toTensor();
        const at::Tensor zero_point = bert.attr("zero_point").toTensor();
        restore_quantised_weight(word_embeddings, scale, zero_point);
    } catch (const std::exception&) {
        // The module stays as loaded.
    }
}

// Takes (ids [B, T], open positions [B], close positions [B]); answers one
// logit per row.
class TorchHomographModel : public HomographModel {
public:
    explicit TorchHomographModel(torch::jit::Module module) : module_(std::move(module)) {}

    std::vector<float> choose(const std::vector<HomographRow>& rows,
                              std::int32_t pad_id) const override {
        std::size_t longest = 0;
        for (const HomographRow& row : rows) longest = std::max(longest, row.ids.size());
        const auto batch = static_cast<std::int64_t>(rows.size());
        const auto width = static_cast<std::int64_t>(longest);
        at::Tensor ids =
            torch::full({batch, width}, static_cast<std::int64_t>(pad_id), torch::kLong);
        at::Tensor opens = torch::empty({batch}, torch::kLong);
        at::Tensor closes = torch::empty({batch}, torch::kLong);
        {
            auto id_rows = ids.accessor<std::int64_t, 2>();
            auto open_at = opens.accessor<std::int64_t, 1>();
            auto close_at = closes.accessor<std::int64_t, 1>();
            for (std::int64_t i = 0; i < batch; ++i) {
                const HomographRow& row = rows[static_cast<std::size_t>(i)];
                for (std::size_t j = 0; j < row.ids.size(); ++j)
                    id_rows[i][static_cast<std::int64_t>(j)] = row.ids[j];
                open_at[i] = row.open;
                close_at[i] = row.close;
            }
        }
        c10::InferenceMode inference;
        const at::Tensor logits = module_.forward({ids, opens, closes}).toTensor();
        // Half to even: a logit of exactly 0 picks the first variant.
        const at::Tensor picked = torch::round(torch::sigmoid(logits));
        std::vector<float> choices;
        choices.reserve(rows.size());
        for (std::int64_t i = 0; i < batch; ++i) choices.push_back(picked[i].item<float>());
        return choices;
    }

    torch::jit::Module& module() { return module_; }

private:
    // forward is not const in LibTorch, but calls on one module may overlap.
    mutable torch::jit::Module module_;
};

}  // namespace

std::unique_ptr<HomographModel> load_homograph_model(const std::string& path,
                                                     std::string* problem) {
    torch::NoGradGuard no_grad;
    torch::jit::Module module;
    try {
        load_encrypted_module_explained(path, module);
        module.eval();
    } catch (const std::exception& e) {
        if (problem != nullptr) *problem = error_line(e);
        return nullptr;
    }
    restore_word_embeddings(module);
    return std::make_unique<TorchHomographModel>(std::move(module));
}

torch::jit::Module* homograph_module(HomographModel& model) {
    auto* torch_model = dynamic_cast<TorchHomographModel*>(&model);
    return torch_model ? &torch_model->module() : nullptr;
}

}  // namespace zelvan_tts
