#include "accentor/accentor.h"

#include "accentor/stress_marks.h"
#include "accentor/stress_models_root.h"
#include "accentor/torch_stress_model.h"
#include "core/data_file_writer.h"
#include "tools/test_accentor_models.h"

#include <torch/script.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace zelvan_tts {
namespace {

namespace tm = test_models;

using AccentorFiles = StressModelsRoot;

tm::StressModelDesign three_words(tm::StressEmbedding embedding = tm::StressEmbedding::Quantised) {
    tm::StressModelDesign design;
    design.words = {{"молоко", {0, 0, 5}, {}}, {"корова", {2, 1.5f, 0}, {}}, {"дом", {-3, 4}, {}}};
    design.embedding = embedding;
    return design;
}

std::map<std::string, std::int64_t> model_ngram_dict(const Accentor& accentor) {
    std::map<std::string, std::int64_t> out;
    const auto dict = stress_module(*accentor.model)
                          ->attr("embedding")
                          .toModule()
                          .attr("ngram_dict")
                          .toGenericDict();
    for (const auto& entry : dict) out[entry.key().toStringRef()] = entry.value().toInt();
    return out;
}

TEST_F(AccentorFiles, NgramListGivesPositionsAndUnk) {
    const std::string model = default_dir("ru") + "/zelvan_accentor.bin";
    std::filesystem::create_directories(default_dir("ru"));
    tm::write_stress_model(model, three_words(tm::StressEmbedding::Plain));
    const std::string ngrams = default_dir("ru") + "/ngrams.bin";

    const struct {
        std::string text;
        std::map<std::string, std::int64_t> expected;
    } cases[] = {
        {"ab\ncd\nef\n", {{"ab", 0}, {"cd", 1}, {"ef", 2}, {"UNK", 3}}},
        {"ab UNK cd", {{"ab", 0}, {"UNK", 1}, {"cd", 2}}},
        // A repeat takes its last position; UNK still counts every token.
        {"ab cd ab", {{"ab", 2}, {"cd", 1}, {"UNK", 3}}},
        {"  \tаб\r\n\n\v\fвг  ", {{"аб", 0}, {"вг", 1}, {"UNK", 2}}},
    };
    for (const auto& c : cases) {
        tm::write_gzip_data_file(ngrams, c.text);
        Accentor accentor;
        ASSERT_TRUE(accentor.load_model(model));
        ASSERT_TRUE(accentor.load_ngrams(ngrams)) << c.text;
        const std::map<std::string, std::int64_t> index(accentor.ngram_index.begin(),
                                                        accentor.ngram_index.end());
        EXPECT_EQ(index, c.expected) << c.text;
        EXPECT_EQ(model_ngram_dict(accentor), c.expected) << "what the model sees";
    }
}

TEST_F(AccentorFiles, NgramListFailures) {
    std::filesystem::create_directories(default_dir("ru"));
    const std::string model = default_dir("ru") + "/zelvan_accentor.bin";
    const std::string ngrams = default_dir("ru") + "/ngrams.bin";
    tm::write_gzip_data_file(ngrams, "ab cd");

    Accentor accentor;
    tm::write_stress_model(model, three_words());
    ASSERT_TRUE(accentor.load_model(model));
    EXPECT_FALSE(accentor.load_ngrams(default_dir("ru") + "/missing.bin"));
    tm::write_gzip_data_file(default_dir("ru") + "/empty.bin", "");
    EXPECT_FALSE(accentor.load_ngrams(default_dir("ru") + "/empty.bin"));
    write_data_file(default_dir("ru") + "/plain.bin", "ab cd");  // not gzipped
    EXPECT_FALSE(accentor.load_ngrams(default_dir("ru") + "/plain.bin"));

    // A model that cannot take the dictionary.
    for (const auto embedding :
         {tm::StressEmbedding::Missing, tm::StressEmbedding::WrongDictType}) {
        tm::write_stress_model(model, three_words(embedding));
        Accentor other;
        ASSERT_TRUE(other.load_model(model));
        EXPECT_FALSE(other.load_ngrams(ngrams)) << static_cast<int>(embedding);
    }
}

TEST_F(AccentorFiles, ExceptionLines) {
    std::filesystem::create_directories(default_dir("ru"));
    const std::string path = default_dir("ru") + "/exceptions.bin";
    tm::write_gzip_data_file(path,
                             "замок 1 -1\n"
                             "слово 3\n"         // too few fields
                             "кот x 1\n"         // not a number
                             "еж 1 -1 лишнее\n"  // fields after the third are ignored
                             "все 2 -1\r\n"      // CR LF
                             "  елка\t0 0\r\n"   // leading white space
                             "замок 3 -1\n"      // a later line wins
                             "\n"
                             "конец 1 2");  // no final line end
    Accentor accentor;
    EXPECT_TRUE(accentor.load_exceptions(path));
    std::map<std::string, std::pair<int, int>> got;
    for (const auto& [word, e] : accentor.exceptions) got[word] = {e.stress, e.yo};
    const std::map<std::string, std::pair<int, int>> expected = {
        {"замок", {3, -1}}, {"еж", {1, -1}}, {"все", {2, -1}}, {"елка", {0, 0}}, {"конец", {1, 2}}};
    EXPECT_EQ(got, expected);

    Accentor missing;
    EXPECT_FALSE(missing.load_exceptions(default_dir("ru") + "/none.bin"));
    EXPECT_TRUE(missing.exceptions.empty());
}

// Restored: the weight the model reads is scale * (stored - zero_point);
// without all three attributes the stored weight stays.
TEST_F(AccentorFiles, QuantisedEmbeddingIsRestoredOnlyWhenComplete) {
    std::filesystem::create_directories(default_dir("ru"));
    const std::string model = default_dir("ru") + "/zelvan_accentor.bin";
    for (const auto embedding :
         {tm::StressEmbedding::Quantised, tm::StressEmbedding::Plain,
          tm::StressEmbedding::ScaleNone, tm::StressEmbedding::ZeroPointNone}) {
        const tm::StressModelDesign design = three_words(embedding);
        tm::write_stress_model(model, design);
        Accentor accentor;
        ASSERT_TRUE(accentor.load_model(model));
        const torch::jit::Module table =
            stress_module(*accentor.model)->attr("embedding").toModule();
        const at::Tensor weight = table.attr("weight").toTensor();
        ASSERT_EQ(weight.scalar_type(), at::kFloat) << static_cast<int>(embedding);
        // Row 1 is корова {2, 1.5, 0} padded with -50; the last row is UNK.
        const at::Tensor expected = torch::tensor({{0.f, 0.f, 5.f, -50.f},
                                                   {2.f, 1.5f, 0.f, -50.f},
                                                   {-3.f, 4.f, -50.f, -50.f},
                                                   {0.f, 0.f, 0.f, 0.f}});
        EXPECT_TRUE(torch::equal(weight, expected)) << static_cast<int>(embedding) << "\n"
                                                    << weight;
        // The parameter list reads the same tensor the attribute does.
        bool found = false;
        for (const auto& p : table.named_parameters()) {
            if (p.name == "weight") found = torch::equal(p.value, expected);
        }
        EXPECT_TRUE(found);
    }
}

TEST_F(AccentorFiles, UnreadableModels) {
    std::filesystem::create_directories(default_dir("ru"));
    const std::string path = default_dir("ru") + "/zelvan_accentor.bin";
    Accentor accentor;
    EXPECT_FALSE(accentor.load_model(path)) << "missing";
    write_data_file(path, "not a module archive");
    EXPECT_FALSE(accentor.load_model(path)) << "not a module";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(48, 'x');
    EXPECT_FALSE(accentor.load_model(path)) << "not decryptable";
    EXPECT_EQ(accentor.model, nullptr);
}

TEST_F(AccentorFiles, InitializeNeedsModelAndNgramList) {
    const tm::StressModelDesign design = three_words();
    const std::string dir = default_dir("ru");

    Accentor nothing;
    nothing.initialize("ru");
    EXPECT_FALSE(nothing.initialized);
    EXPECT_EQ(nothing.lang, "ru");
    EXPECT_EQ(nothing.vowels_lower, vowel_sets("ru").lower);

    std::filesystem::create_directories(dir);
    tm::write_stress_model(dir + "/zelvan_accentor.bin", design);
    tm::write_gzip_data_file(dir + "/exceptions.bin", "замок 1 -1\n");
    Accentor model_only;
    model_only.initialize("ru");
    EXPECT_FALSE(model_only.initialized);
    EXPECT_EQ(model_only.model, nullptr);

    tm::write_gzip_data_file(dir + "/ngrams.bin", tm::ngram_list(design));
    Accentor complete;
    complete.initialize("ru");
    EXPECT_TRUE(complete.initialized);
    EXPECT_NE(complete.model, nullptr);
    EXPECT_EQ(complete.ngram_index.at("UNK"), 3);
    EXPECT_EQ(complete.exceptions.size(), 1u);

    std::filesystem::remove(dir + "/exceptions.bin");
    Accentor without_exceptions;
    without_exceptions.initialize("ru");
    EXPECT_TRUE(without_exceptions.initialized);
    EXPECT_TRUE(without_exceptions.exceptions.empty());

    // A model that cannot take the n-gram list is dropped.
    tm::write_stress_model(dir + "/zelvan_accentor.bin", three_words(tm::StressEmbedding::Missing));
    Accentor no_embedding;
    no_embedding.initialize("ru");
    EXPECT_FALSE(no_embedding.initialized);
    EXPECT_EQ(no_embedding.model, nullptr);

    // An unknown code reads its own directory with the Russian vowels.
    Accentor other;
    other.initialize("xx");
    EXPECT_FALSE(other.initialized);
    EXPECT_EQ(other.vowels_upper, vowel_sets("ru").upper);
}

// A plain C++ model in the TorchScript model's place: the first vowel of
// every word, ё wherever that vowel is the first е.
class FirstVowel : public StressModel {
public:
    bool take_ngrams(const std::unordered_map<std::string, std::int32_t>&) override { return true; }
    bool choose(std::vector<std::string> words, StressChoices& out) const override {
        out.stress.assign(words.size(), 0);
        out.yo.assign(words.size(), 1);
        out.has_yo = true;
        return answers;
    }
    bool answers = true;
};

TEST(AccentorModelSeam, PlainModelStressesWordsAndExceptionsStillWin) {
    Accentor accentor;
    accentor.lang = "ru";
    accentor.vowels_lower = vowel_sets("ru").lower;
    accentor.vowels_upper = vowel_sets("ru").upper;
    accentor.exceptions["замок"] = {1, -1};
    auto model = std::make_unique<FirstVowel>();
    FirstVowel& fake = *model;
    accentor.model = std::move(model);
    EXPECT_EQ(accentor.process("елка, молоко и замок"), "+ёлка, м+олоко +и з+амок");
    fake.answers = false;
    EXPECT_EQ(accentor.process("елка, молоко"), "елка, молоко") << "output of the wrong kind";
}

}  // namespace
}  // namespace zelvan_tts
