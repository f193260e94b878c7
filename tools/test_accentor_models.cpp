#include "tools/test_accentor_models.h"

#include "platform/utf8_path.h"
#include "core/data_file_writer.h"
#include "core/module_packing.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace zelvan_tts::test_models {

namespace {

constexpr float kPadding = -50.0f;

// Rows of the words in order, then the all-zero UNK row.
torch::Tensor logit_table(const StressModelDesign& design, bool yo) {
    const std::int64_t columns = yo ? design.yo_columns : design.stress_columns;
    const auto rows = static_cast<std::int64_t>(design.words.size()) + 1;
    torch::Tensor table = torch::full({rows, columns}, kPadding);
    table[rows - 1].zero_();
    for (std::int64_t r = 0; r + 1 < rows; ++r) {
        const std::vector<float>& logits = yo ? design.words[r].yo : design.words[r].stress;
        if (static_cast<std::int64_t>(logits.size()) > columns) {
            throw std::invalid_argument("more logits than columns for " + design.words[r].ngram);
        }
        for (std::size_t c = 0; c < logits.size(); ++c) table[r][c] = logits[c];
    }
    return table;
}

// Per-column zero points 8 j.
torch::Tensor column_zero_points(std::int64_t columns) {
    return torch::arange(columns).to(torch::kFloat) * 8.0;
}

torch::Tensor quantise(const torch::Tensor& logits) {
    const torch::Tensor q = logits * 2.0 + column_zero_points(logits.size(1));
    if (!torch::equal(q, q.round()) || q.min().item<float>() < -128 ||
        q.max().item<float>() > 127) {
        throw std::invalid_argument("logits not representable in the quantised test table");
    }
    return q.to(torch::kInt8);
}

std::string return_type(StressOutput output) {
    switch (output) {
        case StressOutput::NotTuple:
            return "Tensor";
        case StressOutput::OneElement:
            return "Tuple[Tensor]";
        case StressOutput::StressNone:
            return "Tuple[Optional[Tensor], Tensor]";
        case StressOutput::StressNotTensor:
            return "Tuple[int, Tensor]";
        case StressOutput::ExtraElements:
            return "Tuple[Tensor, Tensor, int]";
        case StressOutput::StressOnly:
            return "Tuple[Tensor, Optional[Tensor]]";
        default:
            return "Tuple[Tensor, Tensor]";
    }
}

std::string return_statement(StressOutput output) {
    switch (output) {
        case StressOutput::StressOnly:
            return "    return (stress, None)\n";
        case StressOutput::TooFewRows:
            return "    return (stress[:-1], yo)\n";
        case StressOutput::NotTuple:
            return "    return stress\n";
        case StressOutput::OneElement:
            return "    return (stress,)\n";
        case StressOutput::StressNone:
            return "    return (None, yo)\n";
        case StressOutput::StressNotTensor:
            return "    return (3, yo)\n";
        case StressOutput::ExtraElements:
            return "    return (stress, yo, 7)\n";
        default:
            return "    return (stress, yo)\n";
    }
}

std::string forward_source(const StressModelDesign& design) {
    const std::string head =
        "def forward(self, words: List[str]) -> " + return_type(design.output) + ":\n";
    const std::string guard = design.output == StressOutput::Raising
                                  ? "    assert len(words) < 0, 'test stress model failure'\n"
                                  : "";
    const bool looks_up = design.embedding != StressEmbedding::Missing &&
                          design.embedding != StressEmbedding::WrongDictType;
    if (!looks_up) {
        return head + guard + "    stress = torch.zeros([len(words), " +
               std::to_string(design.stress_columns) + "])\n" +
               "    yo = torch.zeros([len(words), " + std::to_string(design.yo_columns) + "])\n" +
               return_statement(design.output);
    }
    return head + guard +
           "    index = self.embedding.ngram_dict\n"
           "    unk = index['UNK']\n"
           "    ids: List[int] = []\n"
           "    for word in words:\n"
           "        ids.append(index.get(word, unk))\n"
           "    rows = torch.tensor(ids).long()\n"
           "    stress = self.embedding.weight.index_select(0, rows)\n"
           "    yo = self.yo_weight.index_select(0, rows)\n" +
           return_statement(design.output);
}

}  // namespace

std::string ngram_list(const StressModelDesign& design) {
    std::string text;
    for (const StressWord& word : design.words) text += word.ngram + "\n";
    return text;
}

void write_stress_model(const std::string& path, const StressModelDesign& design) {
    const torch::Tensor stress = logit_table(design, false);
    const torch::Tensor yo = logit_table(design, true);

    torch::jit::Module module("TestStressModel");
    module.register_parameter("yo_weight", yo, false);
    if (design.embedding != StressEmbedding::Missing) {
        torch::jit::Module table("TestStressEmbedding");
        const bool float_dict = design.embedding == StressEmbedding::WrongDictType;
        const c10::TypePtr value_type =
            float_dict ? c10::TypePtr(c10::FloatType::get()) : c10::TypePtr(c10::IntType::get());
        table.register_attribute("ngram_dict",
                                 c10::DictType::create(c10::StringType::get(), value_type),
                                 c10::impl::GenericDict(c10::StringType::get(), value_type));
        const bool quantised = design.embedding == StressEmbedding::Quantised;
        table.register_parameter("weight", quantised ? quantise(stress) : stress, false);
        module.register_module("embedding", table);
    }

    const std::int64_t columns = design.stress_columns;
    const c10::TypePtr optional_tensor = c10::OptionalType::ofTensor();
    switch (design.embedding) {
        case StressEmbedding::Quantised:
            module.register_attribute("scale", c10::TensorType::get(), torch::full({columns}, 0.5));
            module.register_attribute("zero_point", c10::TensorType::get(),
                                      column_zero_points(columns));
            break;
        case StressEmbedding::ScaleNone:
            module.register_attribute("scale", optional_tensor, c10::IValue());
            module.register_attribute("zero_point", optional_tensor, column_zero_points(columns));
            break;
        case StressEmbedding::ZeroPointNone:
            module.register_attribute("scale", optional_tensor,
                                      torch::arange(columns).to(torch::kFloat) + 1.0);
            module.register_attribute("zero_point", optional_tensor, c10::IValue());
            break;
        default:
            break;
    }
    module.define(forward_source(design));
    pack_module(module, path);
}

std::vector<std::string> character_trigrams(const std::string& clean) {
    std::vector<std::string> out;
    for (std::size_t k = 0; k + 6 <= clean.size(); k += 2) out.push_back(clean.substr(k, 6));
    if (out.empty()) out.push_back(clean);
    return out;
}

void write_ngram_stress_model(const std::string& path, const NgramStressModelDesign& design) {
    torch::manual_seed(7);
    const auto rows = static_cast<std::int64_t>(design.ngrams.size()) + 1;
    torch::jit::Module table("TestNgramEmbedding");
    table.register_attribute("ngram_dict",
                             c10::DictType::create(c10::StringType::get(), c10::IntType::get()),
                             c10::impl::GenericDict(c10::StringType::get(), c10::IntType::get()));
    table.register_parameter(
        "weight", torch::randint(-127, 128, {rows, design.embedding_dim}).to(torch::kInt8), false);

    torch::jit::Module module("TestNgramStressModel");
    module.register_module("embedding", table);
    module.register_attribute("scale", c10::TensorType::get(), torch::full({1}, 0.01));
    module.register_attribute("zero_point", c10::TensorType::get(), torch::zeros({1}));
    module.register_parameter("w1", torch::randn({design.embedding_dim, design.hidden_size}),
                              false);
    module.register_parameter("b1", torch::randn({design.hidden_size}), false);
    module.register_parameter("w_stress", torch::randn({design.hidden_size, design.stress_columns}),
                              false);
    module.register_parameter("w_yo", torch::randn({design.hidden_size, design.yo_columns}), false);
    // Trigrams by two-byte steps: a clean word holds only two-byte letters.
    module.define(R"(
def forward(self, words: List[str]) -> Tuple[Tensor, Tensor]:
    index = self.embedding.ngram_dict
    unk = index['UNK']
    ids: List[int] = []
    offsets: List[int] = []
    for word in words:
        offsets.append(len(ids))
        if len(word) < 6:
            ids.append(index.get(word, unk))
        else:
            for k in range(0, len(word) - 4, 2):
                ids.append(index.get(word[k:k + 6], unk))
    bags = torch.embedding_bag(self.embedding.weight, torch.tensor(ids).long(),
                               torch.tensor(offsets).long(), False, 1)[0]
    hidden = torch.relu(torch.matmul(bags, self.w1) + self.b1)
    return (torch.matmul(hidden, self.w_stress), torch.matmul(hidden, self.w_yo))
)");
    pack_module(module, path);
}

void write_gzip_data_file(const std::string& path, const std::string& text) {
    write_data_file(path, text, /*gzip=*/true);
}

void write_stress_language(const std::string& dir, const StressModelDesign& design,
                           const std::string& exceptions) {
    const std::filesystem::path base = path_from_utf8(dir);
    std::filesystem::create_directories(base);
    write_stress_model(path_to_utf8(base / "zelvan_accentor.bin"), design);
    write_gzip_data_file(path_to_utf8(base / "ngrams.bin"), ngram_list(design));
    if (!exceptions.empty()) {
        write_gzip_data_file(path_to_utf8(base / "exceptions.bin"), exceptions);
    }
}

}  // namespace zelvan_tts::test_models
