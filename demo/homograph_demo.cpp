#include "demo/homograph_demo.h"

#include "platform/utf8_path.h"
#include "shared/symbols/code_points.h"
#include "core/data_file_writer.h"
#include "core/module_packing.h"

#include <torch/script.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace zelvan_tts::demo {

namespace {

struct Homograph {
    std::string word;
    std::vector<std::string> variants;           // sorted by bytes, as the stage sorts them
    std::vector<std::vector<std::string>> cues;  // per variant: context stems
    int fallback = 0;                            // variant taken without a cue
};

std::vector<Homograph> read_homographs(const std::string& path) {
    std::ifstream in(path_from_utf8(path), std::ios::binary);
    if (!in) throw std::runtime_error("Cannot read the homograph list: " + path);
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(in);
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error("Malformed homograph list: " + std::string(e.what()));
    }
    std::vector<Homograph> out;
    for (const auto& entry : doc.at("homographs")) {
        Homograph h;
        h.word = entry.at("word").get<std::string>();
        for (const auto& [variant, stems] : entry.at("variants").items()) {
            h.variants.push_back(variant);
        }
        std::sort(h.variants.begin(), h.variants.end());
        if (h.variants.size() != 2) {
            throw std::runtime_error("Homograph without exactly two variants: " + h.word);
        }
        for (const std::string& v : h.variants) {
            h.cues.push_back(entry.at("variants").at(v).get<std::vector<std::string>>());
        }
        const std::string fallback = entry.at("default").get<std::string>();
        const auto it = std::find(h.variants.begin(), h.variants.end(), fallback);
        if (it == h.variants.end()) throw std::runtime_error("Unknown default for " + h.word);
        h.fallback = static_cast<int>(it - h.variants.begin());
        out.push_back(std::move(h));
    }
    return out;
}

char32_t upper(char32_t c) {
    if (c >= U'а' && c <= U'я') return c - 32;
    if (c == U'ё') return U'Ё';
    return c;
}

std::string capitalised(const std::string& word) {
    std::u32string cps = utf8_to_utf32(word);
    if (!cps.empty()) cps[0] = upper(cps[0]);
    return utf32_to_utf8(cps);
}

std::string upper_case(const std::string& word) {
    std::u32string cps = utf8_to_utf32(word);
    for (char32_t& c : cps) c = upper(c);
    return utf32_to_utf8(cps);
}

// Vocabulary in id order without repeats.
class Vocabulary {
public:
    std::int64_t add(const std::string& token) {
        const auto [it, fresh] = ids_.emplace(token, static_cast<std::int64_t>(tokens_.size()));
        if (fresh) tokens_.push_back(token);
        return it->second;
    }
    std::int64_t size() const { return static_cast<std::int64_t>(tokens_.size()); }
    std::string text() const {
        std::string out;
        for (const std::string& t : tokens_) out += t + "\n";
        return out;
    }

private:
    std::unordered_map<std::string, std::int64_t> ids_;
    std::vector<std::string> tokens_;
};

// The classifier: the homograph is the first token after [HOMO]; its row
// names it (one column per homograph); every token within eight tokens
// outside the markers adds the votes of its own row for that homograph,
// weighted by 1 / its distance from the nearer marker, so that the nearest
// context word counts most.
constexpr const char* kClassifierSource = R"(
def forward(self, ids: Tensor, open_at: Tensor, close_at: Tensor) -> Tensor:
    table = self.bert.embeddings.word_embeddings.weight
    h = self.homographs
    rows = ids.size(0)
    length = ids.size(1)
    word = ids.gather(1, (open_at + 1).clamp(0, length - 1).reshape(-1, 1)).reshape(-1)
    key = table.index_select(0, word)[:, :h]
    cues = table.index_select(0, ids.reshape(-1)).reshape(rows, length, -1)[:, :, h:]
    pos = torch.arange(length).reshape(1, -1)
    inside = (pos > open_at.reshape(-1, 1)) & (pos < close_at.reshape(-1, 1))
    distance = torch.where(pos < open_at.reshape(-1, 1), open_at.reshape(-1, 1) - pos,
                           pos - close_at.reshape(-1, 1))
    keep = ((ids != self.pad_id) & (~inside) & (distance <= 8)).float()
    weight = keep / distance.clamp(min=1).float()
    votes = (cues * weight.unsqueeze(2)).sum(1)
    return (votes * key).sum(1) + (key * self.fallback.reshape(1, -1)).sum(1)
)";

}  // namespace

void write_homograph_demo(const std::string& source_path, const std::string& out_dir) {
    const std::vector<Homograph> homographs = read_homographs(source_path);
    const auto count = static_cast<std::int64_t>(homographs.size());

    Vocabulary vocab;
    for (const char* special : {"[PAD]", "[UNK]", "[CLS]", "[SEP]"}) vocab.add(special);
    // Single letters, so that every Cyrillic word splits into known pieces
    // and a context word is found by its stem.
    for (char32_t c = U'а'; c <= U'я'; ++c) {
        for (char32_t letter : {c, upper(c)}) {
            const std::string s = utf32_to_utf8(std::u32string(1, letter));
            vocab.add(s);
            vocab.add("##" + s);
        }
    }
    vocab.add("ё");
    vocab.add("##ё");
    vocab.add("Ё");

    std::map<std::int64_t, std::vector<float>> rows;  // token id -> its row
    const auto row = [&](std::int64_t id) -> std::vector<float>& {
        auto [it, fresh] = rows.try_emplace(id, std::vector<float>(2 * count, 0.0f));
        return it->second;
    };
    nlohmann::ordered_json dict = nlohmann::ordered_json::object();
    torch::Tensor fallback = torch::zeros({count});
    for (std::int64_t i = 0; i < count; ++i) {
        const Homograph& h = homographs[static_cast<std::size_t>(i)];
        dict[h.word] = h.variants;
        // Below the weakest vote (1/8): any context word within reach decides.
        fallback[i] = h.fallback == 1 ? 0.1 : -0.1;
        for (const std::string& form : {h.word, capitalised(h.word), upper_case(h.word)}) {
            row(vocab.add(form))[static_cast<std::size_t>(i)] = 1.0f;
        }
        for (int v = 0; v < 2; ++v) {
            for (const std::string& stem : h.cues[static_cast<std::size_t>(v)]) {
                for (const std::string& form : {stem, capitalised(stem)}) {
                    float& vote = row(vocab.add(form))[static_cast<std::size_t>(count + i)];
                    vote = v == 1 ? 1.0f : -1.0f;
                }
            }
        }
    }
    const std::int64_t homo_open = vocab.size();
    const nlohmann::json added = {{"[HOMO]", homo_open}, {"[/HOMO]", homo_open + 1}};

    // Votes in [-1, 1] stored as uint8 with scale 1/127 and zero point 127.
    torch::Tensor table = torch::full({homo_open + 2, 2 * count}, 127, torch::kUInt8);
    for (const auto& [id, values] : rows) {
        for (std::int64_t c = 0; c < 2 * count; ++c) {
            table[id][c] = static_cast<std::uint8_t>(
                std::lround(values[static_cast<std::size_t>(c)] * 127.0f) + 127);
        }
    }
    torch::jit::Module words("DemoWordEmbeddings");
    words.register_parameter("weight", table, false);
    torch::jit::Module embeddings("DemoEmbeddings");
    embeddings.register_module("word_embeddings", words);
    torch::jit::Module bert("DemoBert");
    bert.register_module("embeddings", embeddings);
    bert.register_attribute("scale", c10::TensorType::get(), torch::full({1}, 1.0 / 127.0));
    bert.register_attribute("zero_point", c10::TensorType::get(), torch::full({1}, 127.0));
    torch::jit::Module module("DemoHomographClassifier");
    module.register_module("bert", bert);
    module.register_parameter("fallback", fallback, false);
    module.register_attribute("homographs", c10::IntType::get(), count);
    module.register_attribute("pad_id", c10::IntType::get(), std::int64_t{0});
    module.define(kClassifierSource);

    const std::filesystem::path dir = path_from_utf8(out_dir);
    std::filesystem::create_directories(dir);
    pack_module(module, path_to_utf8(dir / "model_emb_q.bin"));
    write_data_file(path_to_utf8(dir / "vocab.bin"), vocab.text());
    write_data_file(path_to_utf8(dir / "homodict.bin"), dict.dump());
    write_data_file(path_to_utf8(dir / "added_tokens.bin"), added.dump());
}

}  // namespace zelvan_tts::demo
