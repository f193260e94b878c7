#include "tools/test_homosolver_models.h"

#include "core/data_file_writer.h"
#include "core/module_packing.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace zelvan_tts::test_models {

namespace {

namespace fs = std::filesystem;

std::int8_t quantise(float value) {
    const float stored = std::round(value / kHomographScale + kHomographZeroPoint);
    if (stored < -128.0f || stored > 127.0f) {
        throw std::runtime_error("test homograph logit out of the int8 range");
    }
    return static_cast<std::int8_t>(stored);
}

std::string classifier_source(const HomographModelOptions& options) {
    std::string source = "def forward(self, ids: Tensor, opens: Tensor, closes: Tensor):\n";
    if (options.kind == HomographModelKind::Raising) {
        source += "    assert ids.size(0) < 0, 'test homograph model failure'\n";
    }
    source +=
        "    assert ids.size(1) <= 512, 'row longer than 512 ids'\n"
        "    assert bool((opens >= 0).all()) and bool((opens < ids.size(1)).all()), 'open marker "
        "outside the row'\n"
        "    assert bool((closes >= 0).all()) and bool((closes < ids.size(1)).all()), 'close "
        "marker outside the row'\n"
        "    table = self.bert.embeddings.word_embeddings.weight.float()\n"
        "    rows = torch.arange(ids.size(0))\n"
        "    word = ids[rows, torch.clamp(opens + 1, max=ids.size(1) - 1)]\n"
        "    last = ids[:, ids.size(1) - 1]\n"
        "    logits = table[word, 0] + table[last, 1]\n";
    if (options.encoder_layers > 0) {
        source += "    x = table[ids]\n";
        for (int layer = 0; layer < options.encoder_layers; ++layer) {
            source +=
                "    a = torch.softmax(torch.matmul(x, x.transpose(1, 2)) * 0.0625, -1)\n"
                "    x = torch.tanh(torch.matmul(torch.matmul(a, x), self.layer" +
                std::to_string(layer) + "))\n";
        }
        source += "    logits = logits + x.sum() * 0.0\n";
    }
    switch (options.kind) {
        case HomographModelKind::Column:
            return source + "    return logits.unsqueeze(1)\n";
        case HomographModelKind::TwoPerRow:
            return source + "    return torch.stack([logits, logits], 1)\n";
        case HomographModelKind::NotANumber:
            return source + "    return logits * 0.0 / 0.0\n";
        case HomographModelKind::Logit:
        case HomographModelKind::Raising:
            break;
    }
    return source + "    return logits\n";
}

}  // namespace

HomographResources standard_homograph_resources() {
    HomographResources resources;
    resources.vocab = {"[PAD]", "[UNK]", "[CLS]", "[SEP]", "[HOMO]", "[/HOMO]",
                       "замок", "Замок", "ЗАМОК", "все",   "Все",    "мука",
                       "да",    "кот",   ",",     ".",     "при",    "##вет"};
    resources.homodict_json =
        R"({"замок": ["зам+ок", "з+амок"], "все": ["вс+ё", "вс+е"], "мука": ["мук+а", "м+ука"]})";
    resources.model.word_logits = {
        {"замок", 2.0f}, {"Замок", 2.0f}, {"ЗАМОК", 2.0f}, {"все", 2.0f}, {"мука", -2.0f}};
    return resources;
}

std::map<std::string, std::int64_t> homograph_token_ids(const HomographResources& resources) {
    std::map<std::string, std::int64_t> ids;
    for (std::size_t line = 0; line < resources.vocab.size(); ++line) {
        ids[resources.vocab[line]] = static_cast<std::int64_t>(line);
    }
    if (resources.added_tokens_json) {
        const auto added = nlohmann::json::parse(*resources.added_tokens_json, nullptr, false);
        if (added.is_object()) {
            for (const auto& [token, value] : added.items()) {
                if (!value.is_number_integer()) break;
                ids[token] = value.get<std::int64_t>();
            }
        }
    }
    return ids;
}

void write_homograph_model(const std::string& path,
                           const std::map<std::string, std::int64_t>& token_ids,
                           const HomographModelOptions& options) {
    std::int64_t rows = 4;  // the default special ids 0..3 always index the table
    for (const auto& [token, id] : token_ids) rows = std::max(rows, id + 1);
    const std::int64_t width = std::max(2, options.hidden_size);

    // Columns beyond the two logit columns only feed the benchmark layers.
    at::Tensor table = torch::randint(-8, 9, {rows, width}, torch::kInt8);
    table.index_put_({torch::indexing::Slice(), 0}, quantise(options.default_logit));
    table.index_put_({torch::indexing::Slice(), 1}, quantise(0.0f));
    for (const auto& [token, id] : token_ids) {
        if (const auto it = options.word_logits.find(token); it != options.word_logits.end()) {
            table.index_put_({id, 0}, quantise(it->second));
        }
        if (const auto it = options.last_id_logits.find(token);
            it != options.last_id_logits.end()) {
            table.index_put_({id, 1}, quantise(it->second));
        }
    }

    torch::jit::Module word_embeddings("WordEmbeddings");
    word_embeddings.register_parameter("weight", table, false);
    torch::jit::Module embeddings("Embeddings");
    embeddings.register_module("word_embeddings", word_embeddings);
    torch::jit::Module bert("Bert");
    bert.register_module("embeddings", embeddings);
    if (options.with_scale) bert.register_buffer("scale", torch::tensor(kHomographScale));
    bert.register_buffer("zero_point", torch::tensor(kHomographZeroPoint));

    torch::jit::Module model("HomographClassifier");
    model.register_module("bert", bert);
    for (int layer = 0; layer < options.encoder_layers; ++layer) {
        model.register_parameter("layer" + std::to_string(layer),
                                 torch::randn({width, width}) / std::sqrt(float(width)), false);
    }
    model.define(classifier_source(options));
    pack_module(model, path);
}

void write_homograph_resources(const std::string& dir, const HomographResources& resources) {
    const fs::path base = fs::u8path(dir);
    fs::create_directories(base);
    const auto file = [&](const char* name) { return (base / name).u8string(); };

    std::string vocab;
    for (const std::string& line : resources.vocab)
        vocab += line + (resources.crlf ? "\r\n" : "\n");
    write_data_file(file("vocab.bin"), vocab);
    write_data_file(file("homodict.bin"), resources.homodict_json);
    if (resources.added_tokens_json) {
        write_data_file(file("added_tokens.bin"), *resources.added_tokens_json);
    } else {
        fs::remove(base / "added_tokens.bin");
    }
    write_homograph_model(file("model_emb_q.bin"), homograph_token_ids(resources), resources.model);
}

}  // namespace zelvan_tts::test_models
