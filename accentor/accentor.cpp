#include "accentor/accentor.h"

#include "accentor/stress_marks.h"
#include "core/data_files.h"
#include "core/search_paths.h"

#include <sstream>
#include <vector>

namespace zelvan_tts {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// `name` in the folder of the file at `path`.
std::string sibling(const std::string& path, const std::string& name) {
    const std::size_t slash = path.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + name;
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
    if (model_path.empty()) {
        problem = "Stress model not found: " + expected_accentor_model(code);
        return;
    }
    if (ngrams_path.empty()) {
        problem = "Stress model's n-gram list not found: " + sibling(model_path, "ngrams.bin");
        return;
    }

    std::unique_ptr<StressModel> loaded = load_stress_model(model_path, &problem);
    if (!loaded) return;
    model = std::move(loaded);
    if (!load_ngrams(ngrams_path)) {
        model.reset();
        const std::string why = data_file_problem(ngrams_path);
        problem = "Failed to read the stress model's n-gram list: " + ngrams_path + " (" +
                  (why.empty() ? "not a gzip list the model takes" : why) + ")";
        return;
    }
    this->model_path = model_path;
    // Without an exception list the language works on the model alone.
    if (!exceptions_path.empty()) load_exceptions(exceptions_path);
    initialized = true;
}

bool Accentor::load_model(const std::string& path) {
    std::unique_ptr<StressModel> loaded = load_stress_model(path);
    if (!loaded) return false;
    model = std::move(loaded);
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

    if (!model || !model->take_ngrams(ngram_index)) return false;
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
    std::vector<std::string> words;
    words.reserve(records.size());
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (!records[r].is_word) continue;
        word_records.push_back(r);
        words.push_back(records[r].clean);
    }
    if (word_records.empty()) return text;

    StressChoices choices;
    if (!model->choose(std::move(words), choices)) return text;
    const std::vector<std::int64_t>& stress_choice = choices.stress;
    const std::vector<std::int64_t>& yo_choice = choices.yo;
    const bool yo_enabled = choices.has_yo;
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
