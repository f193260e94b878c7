#include "homosolver/homosolver.h"

#include "homosolver/homograph_test_fixture.h"
#include "core/data_file_writer.h"
#include "tools/test_homosolver_models.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

namespace zelvan_tts {
namespace {

using test_models::HomographModelKind;
using test_models::HomographResources;
using test_models::standard_homograph_resources;

class HomoSolverLoading : public HomographFiles {
protected:
    // The vocabulary file alone, loaded into a fresh instance.
    void load_vocab_only(HomoSolver& solver, const std::string& vocab_text,
                         const std::string* added = nullptr) {
        std::filesystem::create_directories(dir());
        write_data_file(file("vocab.bin"), vocab_text);
        std::filesystem::remove(file("added_tokens.bin"));
        if (added) write_data_file(file("added_tokens.bin"), *added);
        ASSERT_TRUE(solver.load_vocab(file("vocab.bin"), file("added_tokens.bin")));
    }
};

TEST_F(HomoSolverLoading, VocabularyLinesAndSpecialTokens) {
    for (const char* end : {"\n", "\r\n"}) {
        SCOPED_TRACE(end[0] == '\r' ? "CR LF" : "LF");
        HomoSolver solver;
        const std::string e = end;
        // No [PAD]: pad_id stays 0; no [HOMO]: the marker ids stay.
        load_vocab_only(solver, "[UNK]" + e + "[CLS]" + e + "[SEP]" + e + "x" + e + e + "y" + e +
                                    "x" + e + "w");
        EXPECT_EQ(solver.unk_id, 0);
        EXPECT_EQ(solver.cls_id, 1);
        EXPECT_EQ(solver.sep_id, 2);
        EXPECT_EQ(solver.pad_id, 0);
        EXPECT_EQ(solver.homo_open_id, 83828);
        EXPECT_EQ(solver.homo_close_id, 83829);
        EXPECT_EQ(solver.vocab.at("x"), 6) << "a later duplicate wins";
        EXPECT_EQ(solver.vocab.at(""), 4) << "an empty line is the empty token";
        EXPECT_EQ(solver.vocab.at("y"), 5);
        EXPECT_EQ(solver.vocab.at("w"), 7) << "the last line needs no line feed";
        EXPECT_EQ(solver.vocab.size(), 7u);
    }

    HomoSolver moved;
    load_vocab_only(moved, "a\r\r\nb\n[PAD]\n[HOMO]\n[/HOMO]\n[SEP]\n[CLS]\n[UNK]\n");
    EXPECT_EQ(moved.pad_id, 2);
    EXPECT_EQ(moved.homo_open_id, 3);
    EXPECT_EQ(moved.homo_close_id, 4);
    EXPECT_EQ(moved.sep_id, 5);
    EXPECT_EQ(moved.cls_id, 6);
    EXPECT_EQ(moved.unk_id, 7);
    EXPECT_EQ(moved.vocab.at("a\r"), 0) << "only one CR is dropped";

    // An empty or undecryptable vocabulary fails.
    std::filesystem::create_directories(dir());
    write_data_file(file("vocab.bin"), "");
    EXPECT_FALSE(HomoSolver().load_vocab(file("vocab.bin"), file("added_tokens.bin")));
    EXPECT_FALSE(HomoSolver().load_vocab(file("missing.bin"), file("added_tokens.bin")));
}

TEST_F(HomoSolverLoading, AddedTokensApplyInNameOrderUntilABadValue) {
    const std::string vocab = "[PAD]\n[UNK]\n[CLS]\n[SEP]\n[HOMO]\n[/HOMO]\n";
    const struct {
        const char* name;
        std::string json;
        std::map<std::string, std::optional<std::int32_t>> expected;
        std::int32_t open, close;
    } cases[] = {
        {"markers", R"({"[HOMO]": 100, "[/HOMO]": 101})", {{"[HOMO]", 100}}, 100, 101},
        // Names sort "[/HOMO]" < "[A]" < "[HOMO]": the string stops the rest.
        {"string value",
         R"({"[HOMO]": 9, "[A]": "x", "[/HOMO]": 7})",
         {{"[A]", std::nullopt}},
         4,
         7},
        {"conversions",
         R"({"a": true, "b": false, "c": 2.9, "d": -2.9, "e": -5})",
         {{"a", 1}, {"b", 0}, {"c", 2}, {"d", -2}, {"e", -5}},
         4,
         5},
        {"out of int32",
         R"({"a": 2147483647, "b": 2147483648, "c": 1})",
         {{"a", 2147483647}, {"b", std::nullopt}, {"c", std::nullopt}},
         4,
         5},
        {"below int32",
         R"({"a": -2147483649.5, "b": 1})",
         {{"a", std::nullopt}, {"b", std::nullopt}},
         4,
         5},
        {"null", R"({"a": null})", {{"a", std::nullopt}}, 4, 5},
        {"trailing content", R"({"a": 1} x)", {{"a", std::nullopt}}, 4, 5},
        {"comment", "{\"a\": 1 /* c */}", {{"a", std::nullopt}}, 4, 5},
        {"not an object", R"([1, 2])", {{"0", std::nullopt}}, 4, 5},
        {"overwrites the vocabulary", R"({"[PAD]": 40})", {{"[PAD]", 40}}, 4, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HomoSolver solver;
        load_vocab_only(solver, vocab, &c.json);
        for (const auto& [token, id] : c.expected) {
            const auto it = solver.vocab.find(token);
            EXPECT_EQ(it == solver.vocab.end() ? std::nullopt : std::optional(it->second), id)
                << token;
        }
        EXPECT_EQ(solver.homo_open_id, c.open);
        EXPECT_EQ(solver.homo_close_id, c.close);
        EXPECT_EQ(solver.pad_id, 0) << "special ids are taken before the added tokens";
    }

    // A file that does not decrypt is skipped.
    HomoSolver solver;
    load_vocab_only(solver, vocab);
    std::filesystem::copy_file(file("vocab.bin"), file("added_tokens.bin"));
    { std::ofstream(file("added_tokens.bin"), std::ios::app) << "garbage"; }
    EXPECT_TRUE(solver.load_vocab(file("vocab.bin"), file("added_tokens.bin")));
}

TEST_F(HomoSolverLoading, HomographDictionary) {
    std::filesystem::create_directories(dir());
    const struct {
        const char* name;
        std::string json;
        bool loads;
    } cases[] = {
        {"good", R"({"замок": ["зам+ок", "з+амок"], "пусто": []})", true},
        {"one value not an array", R"({"а": ["+а"], "замок": "зам+ок", "я": ["+я"]})", false},
        {"an element not a string", R"({"замок": ["зам+ок", 1]})", false},
        {"not an object", R"([["зам+ок"]])", false},
        {"empty", "{}", false},
        {"malformed", R"({"замок": ["зам+ок"],})", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_data_file(file("homodict.bin"), c.json);
        HomoSolver solver;
        EXPECT_EQ(solver.load_homodict(file("homodict.bin")), c.loads);
    }
    HomoSolver solver;
    write_data_file(file("homodict.bin"), R"({"замок": ["зам+ок", "з+амок"], "пусто": []})");
    ASSERT_TRUE(solver.load_homodict(file("homodict.bin")));
    EXPECT_EQ(solver.homodict.at("замок"), (std::vector<std::string>{"зам+ок", "з+амок"}))
        << "file order";
    EXPECT_TRUE(solver.homodict.at("пусто").empty());
}

TEST_F(HomoSolverLoading, InitializeNeedsModelVocabularyAndDictionary) {
    const auto initialized = [] {
        HomoSolver solver;
        solver.initialize();
        return solver.initialized;
    };
    EXPECT_FALSE(initialized()) << "no directory";

    HomographResources resources = standard_homograph_resources();
    install(resources);
    EXPECT_TRUE(initialized()) << "without added_tokens.bin";

    resources.added_tokens_json = R"({"[HOMO]": 4, "[/HOMO]": 5})";
    install(resources);
    EXPECT_TRUE(initialized());

    for (const char* missing : {"vocab.bin", "homodict.bin"}) {
        install(resources);
        std::filesystem::remove(file(missing));
        EXPECT_FALSE(initialized()) << missing;
    }

    // Without a model in the installation root the module-relative directory
    // is searched, and that one is empty.
    install(resources);
    std::filesystem::remove(file("model_emb_q.bin"));
    EXPECT_FALSE(initialized());

    install(resources);
    write_data_file(file("model_emb_q.bin"), "not a TorchScript archive");
    EXPECT_FALSE(initialized()) << "a module that does not load";

    install(resources);
    std::filesystem::copy_file(file("homodict.bin"), file("model_emb_q.bin"),
                               std::filesystem::copy_options::overwrite_existing);
    { std::ofstream(file("model_emb_q.bin"), std::ios::app) << "0123456789abcdef"; }
    EXPECT_FALSE(initialized()) << "a model that does not decrypt";

    resources.homodict_json = R"({"замок": ["зам+ок"], "все": 1})";
    install(resources);
    EXPECT_FALSE(initialized()) << "a dictionary value that is not an array";
}

// Resolution against the standard test resources, which the cases adjust.
class HomoSolverResolve : public HomographFiles {
protected:
    std::string resolve(const HomographResources& resources, const std::string& text) {
        install(resources);
        HomoSolver solver;
        solver.initialize();
        EXPECT_TRUE(solver.initialized);
        return solver.resolve(text);
    }
};

TEST_F(HomoSolverResolve, ChoosesByTheSignOfTheLogitInTheLetterCaseOfTheText) {
    const struct {
        float logit;
        const char* text;
        const char* expected;
    } cases[] = {
        {2.0f, "Замок открыт.", "Зам+ок открыт."},
        {-2.0f, "Замок открыт.", "З+амок открыт."},
        {0.0f, "Замок открыт.", "З+амок открыт."},  // sigmoid 0.5 rounds to even
        {0.5f, "Замок открыт.", "Зам+ок открыт."},
        {2.0f, "ЗАМОК", "ЗАМ+ОК"},
        {-2.0f, "ЗАМОК", "З+АМОК"},
        {2.0f, "старый замок", "старый зам+ок"},
    };
    for (const auto& c : cases) {
        HomographResources resources = standard_homograph_resources();
        resources.model.word_logits = {{"замок", c.logit}, {"Замок", c.logit}, {"ЗАМОК", c.logit}};
        EXPECT_EQ(resolve(resources, c.text), c.expected) << c.logit << " " << c.text;
    }
}

TEST_F(HomoSolverResolve, ReplacementsKeepLaterOffsetsRight) {
    const HomographResources resources = standard_homograph_resources();
    // замок +2, все +2 (вс+ё, one vowel), мука -2 (м+ука): with and without
    // an inserted "+" before later words.
    EXPECT_EQ(resolve(resources, "Замок, все и мука; замок все мука."),
              "Зам+ок, всё и м+ука; зам+ок всё м+ука.");
    EXPECT_EQ(resolve(resources, "все\xFFзамок"), "всё\xFFзам+ок");

    // Variants spelt longer than their words still land on their own bytes.
    HomographResources longer = resources;
    longer.homodict_json = R"({"кот": ["кот+ик", "к+отик"], "замок": ["зам+ок", "з+амок"]})";
    longer.model.word_logits = {{"кот", 2.0f}, {"замок", 2.0f}};
    EXPECT_EQ(resolve(longer, "кот и замок"), "кот+ик и зам+ок");
}

TEST_F(HomoSolverResolve, VariantListsAreSortedAndMayBeEmpty) {
    HomographResources resources = standard_homograph_resources();
    // Sorted by bytes: з+амок, зам+ок, замо+к; only the first two are chosen.
    resources.homodict_json =
        R"({"замок": ["замо+к", "з+амок", "зам+ок"], "мука": [], "все": ["вс+ё", "вс+е"]})";
    resources.model.word_logits = {{"замок", 2.0f}, {"мука", 2.0f}, {"все", -2.0f}};
    EXPECT_EQ(resolve(resources, "замок мука все"), "зам+ок мука все");
    resources.model.word_logits = {{"замок", -2.0f}, {"все", 2.0f}};
    EXPECT_EQ(resolve(resources, "мука замок все"), "мука з+амок всё");
}

TEST_F(HomoSolverResolve, TextsWithoutCandidatesComeBackWithoutAModelCall) {
    HomographResources resources = standard_homograph_resources();
    resources.model.kind = HomographModelKind::Raising;
    install(resources);
    HomoSolver solver;
    solver.initialize();
    ASSERT_TRUE(solver.initialized);
    for (const std::string text : {"", "кот и да", "зам+ок и ЗАМ+ОК", "замки", "\xFF\xFE"}) {
        EXPECT_EQ(solver.resolve(text), text);
    }
    EXPECT_THROW(solver.resolve("замок"), std::exception);
}

TEST_F(HomoSolverResolve, ModelOutputShapes) {
    const struct {
        HomographModelKind kind;
        const char* expected;  // nullptr: the call throws
    } cases[] = {
        {HomographModelKind::Logit, "зам+ок м+ука"},
        {HomographModelKind::Column, "зам+ок м+ука"},
        {HomographModelKind::TwoPerRow, nullptr},
        {HomographModelKind::Raising, nullptr},
        // No usable choice: the first variant, never an undefined index.
        {HomographModelKind::NotANumber, "з+амок м+ука"},
    };
    for (const auto& c : cases) {
        HomographResources resources = standard_homograph_resources();
        resources.model.kind = c.kind;
        install(resources);
        HomoSolver solver;
        solver.initialize();
        ASSERT_TRUE(solver.initialized);
        if (c.expected) {
            EXPECT_EQ(solver.resolve("замок мука"), c.expected) << static_cast<int>(c.kind);
        } else {
            EXPECT_THROW(solver.resolve("замок мука"), std::exception) << static_cast<int>(c.kind);
        }
    }
}

TEST_F(HomoSolverResolve, MarkersMissingFromTheVocabularySkipTheWord) {
    HomographResources resources = standard_homograph_resources();
    resources.vocab[4] = "[OPEN]";  // [HOMO] unknown: its default id never appears
    EXPECT_EQ(resolve(resources, "замок"), "замок");
    resources.added_tokens_json = R"({"[HOMO]": 4})";
    EXPECT_EQ(resolve(resources, "замок"), "зам+ок");
}

TEST_F(HomoSolverResolve, QuantisedEmbeddingsAreRestored) {
    // Stored, the logits -1 and 0 of замок are positive numbers (1 and 3).
    for (const bool with_scale : {true, false}) {
        for (const float logit : {-1.0f, 0.0f}) {
            HomographResources resources = standard_homograph_resources();
            resources.model.word_logits = {{"замок", logit}};
            resources.model.with_scale = with_scale;
            EXPECT_EQ(resolve(resources, "замок"), with_scale ? "з+амок" : "зам+ок")
                << "scale " << with_scale << ", logit " << logit;
        }
    }
}

TEST_F(HomoSolverResolve, RowsArePaddedWithThePadId) {
    // [PAD] at id 6: a row that ends in padding gets +4 on top of замок's -2.
    HomographResources resources = standard_homograph_resources();
    resources.vocab = {"[UNK]", "[CLS]", "[SEP]", "[HOMO]", "[/HOMO]", "замок", "[PAD]", "да"};
    resources.model.word_logits = {{"замок", -2.0f}, {"да", 2.0f}};
    resources.model.last_id_logits = {{"[PAD]", 4.0f}};
    // Marking the first замок splits "xзамок" ([UNK]) into "x" and замок:
    // the second row is one id shorter and ends in padding.
    EXPECT_EQ(resolve(resources, "xзамок замок"), "xз+амок зам+ок");
}

TEST_F(HomoSolverResolve, EachOccurrenceReadsAWindowAroundIt) {
    HomographResources resources = standard_homograph_resources();
    resources.vocab = {"[UNK]", "[CLS]", "[SEP]", "[HOMO]", "[/HOMO]", "замок", "[PAD]", "да"};
    resources.model.word_logits = {{"замок", -2.0f}, {"да", 2.0f}};
    install(resources);
    HomoSolver solver;
    solver.initialize();
    ASSERT_TRUE(solver.initialized);

    std::string many;
    for (int i = 0; i < 600; ++i) many += " да";
    const std::string glued(2000, ',');
    const std::string wide(4000, 'x');  // one [UNK] each, 4000 bytes
    const struct {
        std::string text;
        std::size_t longest;  // the longest row it may give
    } cases[] = {
        // Rows that fit are the whole marked text, as they always were.
        {"xзамок замок", 0},
        {"Замок,\tда\r\nзамок!  да\x00\xFF замок", 0},
        // Long texts: at the start, in the middle and at the end.
        {"замок" + many + " замок" + many + " замок", kHomographMaxIds},
        // A run of punctuation glued to the word is cut around the markers.
        {glued + "замок" + glued, kHomographMaxIds},
        // Few ids but many bytes: pieces beyond the byte bound stay out.
        {"замок " + wide + " " + wide + " " + wide + " замок", 7},
    };
    for (const auto& c : cases) {
        const auto occurrences = find_homographs(c.text, solver.homodict);
        ASSERT_FALSE(occurrences.empty()) << c.text.size();
        PieceCache cache;
        for (const HomographOccurrence& occurrence : occurrences) {
            const std::vector<std::int32_t> row = solver.row(c.text, occurrence, cache);
            if (c.longest == 0) {
                EXPECT_EQ(row, solver.encode(mark_homograph(c.text, occurrence))) << c.text;
                continue;
            }
            EXPECT_LE(row.size(), c.longest) << c.text.size() << " at " << occurrence.start;
            const auto open = std::find(row.begin(), row.end(), solver.homo_open_id);
            ASSERT_NE(open, row.end()) << occurrence.start;
            ASSERT_LT(open + 2, row.end());
            EXPECT_EQ(open[1], 5) << "замок inside its markers at " << occurrence.start;
            EXPECT_EQ(open[2], solver.homo_close_id);
            EXPECT_EQ(row.front(), solver.cls_id);
            EXPECT_EQ(row.back(), solver.sep_id);
        }
    }

    // Each замок of the long text is read at its own markers: its own logit.
    const std::string text = "замок" + many + " замок" + many + " замок";
    std::string expected = "з+амок" + many + " з+амок" + many + " з+амок";
    EXPECT_EQ(solver.resolve(text), expected);
    // A part of the text resolves as it does inside the whole text.
    const std::size_t middle = text.find(" замок") + 1;
    // (the first one gained its plus before it)
    EXPECT_EQ(solver.resolve(text, middle, middle + 20), expected.substr(middle + 1, 21));
}

}  // namespace
}  // namespace zelvan_tts
