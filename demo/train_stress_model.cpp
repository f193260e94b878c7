// zelvan_demo_train_stress: trains the demo Russian stress model on the
// lexicon of the Debian package festvox-ru and writes zelvan_accentor.bin,
// ngrams.bin and exceptions.bin, packed with the program key.
//   zelvan_demo_train_stress LEXICON.scm STRESS_SOURCE.torchscript OUT_DIR
// OUT_DIR must be <root>/accentor/ru: the held-out words are stressed at the
// end by the engine's own stress stage, reading the files from <root>.
#include "accentor/accentor_stage.h"
#include "demo/stress_features.h"
#include "platform/utf8_path.h"
#include "shared/symbols/code_points.h"
#include "core/data_file_writer.h"
#include "core/module_packing.h"

#include <torch/torch.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numeric>
#include <random>
#include <regex>
#include <sstream>
#include <unordered_map>

namespace {

using zelvan_tts::demo::stress_features;
using zelvan_tts::demo::vowel_letters;

constexpr std::size_t kMaxNgrams = 90000;
constexpr std::size_t kMaxExceptions = 12000;
constexpr std::int64_t kDim = 16;
constexpr int kEpochs = 8;
constexpr std::int64_t kBatch = 512;

struct Entry {
    std::string word;
    int vowel = 0;  // index among the word's vowels
};

// Lines like ("молоко" n (3)): the stressed vowel counted from 1. Words of
// other letters than а..я and ё, of one vowel, or without a stress are left out;
// of repeated words the first entry counts.
std::vector<Entry> read_lexicon(const std::string& path) {
    std::ifstream in(zelvan_tts::path_from_utf8(path));
    if (!in) throw std::runtime_error("Cannot read the lexicon: " + path);
    const std::regex line_form("^\\(\"([^\"]+)\" [^ ]+ \\(([0-9]+)\\)\\)");
    std::unordered_map<std::string, bool> seen;
    std::vector<Entry> out;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (!std::regex_search(line, m, line_form)) continue;
        const std::string word = m[1];
        const int stress = std::stoi(m[2]);
        bool letters_only = true;
        for (char32_t c : zelvan_tts::utf8_to_utf32(word))
            letters_only = letters_only && ((c >= U'а' && c <= U'я') || c == U'ё');
        const int vowels = static_cast<int>(vowel_letters(word).size());
        if (!letters_only || stress < 1 || stress > vowels || vowels < 2) continue;
        if (!seen.emplace(word, true).second) continue;
        out.push_back({word, stress - 1});
    }
    return out;
}

struct Encoded {
    torch::Tensor ids;                     // feature rows, all candidates one after another
    torch::Tensor offsets;                 // per candidate: its first feature
    torch::Tensor owner;                   // per candidate: its word
    torch::Tensor slot;                    // per candidate: its vowel index
    torch::Tensor targets;                 // per word: the stressed vowel
    std::vector<std::int64_t> word_start;  // per word and one more: first candidate
};

Encoded encode(const std::vector<Entry>& entries,
               const std::unordered_map<std::string, std::int64_t>& index, std::int64_t unk) {
    std::vector<std::int64_t> ids, offsets, owner, slot, targets, word_start;
    for (std::size_t w = 0; w < entries.size(); ++w) {
        word_start.push_back(static_cast<std::int64_t>(offsets.size()));
        const auto candidates = stress_features(entries[w].word);
        for (std::size_t j = 0; j < candidates.size(); ++j) {
            offsets.push_back(static_cast<std::int64_t>(ids.size()));
            owner.push_back(static_cast<std::int64_t>(w));
            slot.push_back(static_cast<std::int64_t>(j));
            for (const std::string& f : candidates[j]) {
                const auto it = index.find(f);
                ids.push_back(it == index.end() ? unk : it->second);
            }
        }
        targets.push_back(entries[w].vowel);
    }
    word_start.push_back(static_cast<std::int64_t>(offsets.size()));
    const auto t = [](const std::vector<std::int64_t>& v) {
        return torch::tensor(v, torch::kInt64);
    };
    return {t(ids), t(offsets), t(owner), t(slot), t(targets), word_start};
}

struct Model {
    torch::Tensor embedding, hidden_bias, score_weight;
};

// Logits [words, columns] of the words first..last-1.
torch::Tensor logits(const Model& m, const Encoded& e, std::int64_t first, std::int64_t last) {
    const std::int64_t c0 = e.word_start[first], c1 = e.word_start[last];
    const std::int64_t i0 = e.offsets[c0].item<std::int64_t>();
    const std::int64_t i1 =
        c1 < e.offsets.size(0) ? e.offsets[c1].item<std::int64_t>() : e.ids.size(0);
    const torch::Tensor bags = std::get<0>(torch::embedding_bag(
        m.embedding, e.ids.slice(0, i0, i1), e.offsets.slice(0, c0, c1) - i0, false, 0));
    const torch::Tensor scores = torch::matmul(torch::tanh(bags + m.hidden_bias), m.score_weight);
    const torch::Tensor slot = e.slot.slice(0, c0, c1);
    const std::int64_t columns = slot.max().item<std::int64_t>() + 1;
    return torch::full({last - first, columns}, -10000.0)
        .index_put({e.owner.slice(0, c0, c1) - first, slot}, scores);
}

double accuracy(const Model& m, const Encoded& e, std::vector<bool>* right = nullptr) {
    torch::NoGradGuard no_grad;
    const auto words = static_cast<std::int64_t>(e.targets.size(0));
    std::int64_t correct = 0;
    for (std::int64_t b = 0; b < words; b += 4096) {
        const std::int64_t end = std::min(words, b + 4096);
        const torch::Tensor hit = logits(m, e, b, end).argmax(1) == e.targets.slice(0, b, end);
        correct += hit.sum().item<std::int64_t>();
        if (right) {
            for (std::int64_t i = 0; i < end - b; ++i) right->push_back(hit[i].item<bool>());
        }
    }
    return static_cast<double>(correct) / static_cast<double>(words);
}

std::string read_text(const std::string& path) {
    std::ifstream in(zelvan_tts::path_from_utf8(path), std::ios::binary);
    if (!in) throw std::runtime_error("Cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Per-column uint8 quantisation: x = scale * (q - zero_point), with zero exact.
void write_model(const Model& m, const std::string& source, const std::string& path) {
    const torch::Tensor w = m.embedding.detach();
    const torch::Tensor lo = std::get<0>(w.min(0)).clamp_max(0.0);
    const torch::Tensor hi = std::get<0>(w.max(0)).clamp_min(0.0);
    const torch::Tensor scale = ((hi - lo) / 255.0).clamp_min(1e-8);
    const torch::Tensor zero_point = torch::round(-lo / scale);
    const torch::Tensor q =
        torch::clamp(torch::round(w / scale) + zero_point, 0, 255).to(torch::kUInt8);

    torch::jit::Module embedding("DemoStressEmbedding");
    embedding.register_attribute(
        "ngram_dict", c10::DictType::create(c10::StringType::get(), c10::IntType::get()),
        c10::impl::GenericDict(c10::StringType::get(), c10::IntType::get()));
    embedding.register_parameter("weight", q, false);
    torch::jit::Module module("DemoStressModel");
    module.register_module("embedding", embedding);
    module.register_attribute("scale", c10::TensorType::get(), scale);
    module.register_attribute("zero_point", c10::TensorType::get(), zero_point);
    module.register_parameter("hidden_bias", m.hidden_bias.detach().clone(), false);
    module.register_parameter("score_weight", m.score_weight.detach().clone(), false);
    c10::impl::GenericDict vowels(c10::StringType::get(), c10::IntType::get());
    int k = 0;
    for (const char* v : {"а", "о", "у", "ы", "э", "и", "е", "я", "ё", "ю"}) vowels.insert(v, k++);
    module.register_attribute(
        "vowels", c10::DictType::create(c10::StringType::get(), c10::IntType::get()), vowels);
    module.define(source);
    zelvan_tts::pack_module(module, path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: zelvan_demo_train_stress LEXICON.scm STRESS_SOURCE.torchscript "
                     "OUT_DIR\n";
        return 2;
    }
    try {
        const auto started = std::chrono::steady_clock::now();
        torch::manual_seed(11);
        torch::set_num_threads(1);
        std::vector<Entry> entries = read_lexicon(argv[1]);
        std::mt19937 shuffle_rng(5);
        std::shuffle(entries.begin(), entries.end(), shuffle_rng);
        const std::size_t held = entries.size() / 10;
        const std::vector<Entry> test(entries.begin(), entries.begin() + held);
        const std::vector<Entry> train(entries.begin() + held, entries.end());
        std::cout << "lexicon: " << entries.size() << " words of two or more vowels; training "
                  << train.size() << ", held out " << test.size() << "\n";

        // The n-grams seen at least twice in training, most frequent first.
        std::unordered_map<std::string, std::int64_t> counts;
        for (const Entry& e : train)
            for (const auto& c : stress_features(e.word))
                for (const std::string& f : c) ++counts[f];
        std::vector<std::pair<std::string, std::int64_t>> ranked(counts.begin(), counts.end());
        std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
            return a.second != b.second ? a.second > b.second : a.first < b.first;
        });
        std::vector<std::string> ngrams;
        std::unordered_map<std::string, std::int64_t> index;
        for (const auto& [f, n] : ranked) {
            if (n < 2 || ngrams.size() == kMaxNgrams) break;
            index.emplace(f, static_cast<std::int64_t>(ngrams.size()));
            ngrams.push_back(f);
        }
        const auto unk = static_cast<std::int64_t>(ngrams.size());
        std::cout << "n-grams: " << counts.size() << " distinct, kept " << ngrams.size() << "\n";

        const Encoded tr = encode(train, index, unk);
        const Encoded te = encode(test, index, unk);
        Model m{(torch::randn({unk + 1, kDim}) * 0.05).requires_grad_(),
                torch::zeros({kDim}).requires_grad_(),
                (torch::randn({kDim}) * 0.3).requires_grad_()};
        {
            torch::NoGradGuard g;
            m.embedding[unk].zero_();
        }
        torch::optim::Adam opt({m.embedding, m.hidden_bias, m.score_weight},
                               torch::optim::AdamOptions(0.02));
        const auto words = static_cast<std::int64_t>(train.size());
        std::vector<std::int64_t> batches;
        for (std::int64_t b = 0; b < words; b += kBatch) batches.push_back(b);
        std::mt19937 batch_rng(3);
        for (int epoch = 0; epoch < kEpochs; ++epoch) {
            if (epoch == kEpochs - 2) {
                for (auto& group : opt.param_groups())
                    static_cast<torch::optim::AdamOptions&>(group.options()).lr(0.005);
            }
            std::shuffle(batches.begin(), batches.end(), batch_rng);
            for (std::int64_t b : batches) {
                const std::int64_t end = std::min(words, b + kBatch);
                const torch::Tensor loss = torch::nn::functional::cross_entropy(
                    logits(m, tr, b, end), tr.targets.slice(0, b, end));
                opt.zero_grad();
                loss.backward();
                opt.step();
                torch::NoGradGuard g;
                m.embedding[unk].zero_();
            }
            std::cout << "epoch " << epoch + 1 << ": training " << accuracy(m, tr) * 100
                      << "%, held out " << accuracy(m, te) * 100 << "%\n";
        }

        // Exceptions: training words the model gets wrong, the shortest first
        // (the short ones are the common ones).
        std::vector<bool> right;
        accuracy(m, tr, &right);
        std::vector<const Entry*> wrong;
        for (std::size_t i = 0; i < train.size(); ++i)
            if (!right[i]) wrong.push_back(&train[i]);
        std::stable_sort(wrong.begin(), wrong.end(), [](const Entry* a, const Entry* b) {
            return a->word.size() < b->word.size();
        });
        if (wrong.size() > kMaxExceptions) wrong.resize(kMaxExceptions);
        std::sort(wrong.begin(), wrong.end(),
                  [](const Entry* a, const Entry* b) { return a->word < b->word; });
        std::string exceptions;
        for (const Entry* e : wrong) {
            const int letter = vowel_letters(e->word)[static_cast<std::size_t>(e->vowel)];
            exceptions += e->word + " " + std::to_string(letter) + " -1\n";
        }

        const std::filesystem::path out = zelvan_tts::path_from_utf8(argv[3]);
        std::filesystem::create_directories(out);
        std::string ngram_text;
        for (const std::string& f : ngrams) ngram_text += f + "\n";
        write_model(m, read_text(argv[2]), zelvan_tts::path_to_utf8(out / "zelvan_accentor.bin"));
        zelvan_tts::write_data_file(zelvan_tts::path_to_utf8(out / "ngrams.bin"), ngram_text, true);
        zelvan_tts::write_data_file(zelvan_tts::path_to_utf8(out / "exceptions.bin"), exceptions,
                                    true);
        std::cout << "exceptions: " << wrong.size() << " words\n";

        // The held-out words through the engine's stress stage, files as written.
        setenv("ZELVAN_TTS_MODEL_PATH",
               zelvan_tts::path_to_utf8(out.parent_path().parent_path()).c_str(), 1);
        std::string text;
        for (const Entry& e : test) text += e.word + " ";
        const std::string stressed = zelvan_tts::apply_accentor(text, "rus");
        std::istringstream marked(stressed);
        std::string word;
        std::size_t k = 0, correct = 0;
        while (marked >> word && k < test.size()) {
            const std::u32string cps = zelvan_tts::utf8_to_utf32(word);
            const auto plus = cps.find(U'+');
            const int expected =
                vowel_letters(test[k].word)[static_cast<std::size_t>(test[k].vowel)];
            if (plus != std::u32string::npos && static_cast<int>(plus) == expected) ++correct;
            ++k;
        }
        std::cout << "held-out words stressed right by the packed model through the stress stage: "
                  << correct << " of " << test.size() << " ("
                  << 100.0 * static_cast<double>(correct) / static_cast<double>(test.size())
                  << "%)\n";
        for (const char* name : {"zelvan_accentor.bin", "ngrams.bin", "exceptions.bin"}) {
            std::cout << name << ": " << std::filesystem::file_size(out / name) << " bytes\n";
        }
        std::cout << "took "
                  << std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::steady_clock::now() - started)
                         .count()
                  << " s\n";
    } catch (const std::exception& e) {
        std::cerr << "zelvan_demo_train_stress: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
