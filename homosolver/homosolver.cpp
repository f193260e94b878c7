#include "homosolver/homosolver.h"

#include "core/data_files.h"
#include "core/search_paths.h"
#include "platform/utf8_path.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace zelvan_tts {

namespace fs = std::filesystem;

namespace {

bool decrypt_text(const std::string& path, std::string& text) {
    std::vector<std::uint8_t> payload;
    if (!decrypt_file(path, payload)) return false;
    text.assign(payload.begin(), payload.end());
    return true;
}

// Strict JSON: no comments, nothing after the value. Discarded on error.
nlohmann::json parse_json(const std::string& text) {
    return nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false,
                                 /*ignore_comments=*/false);
}

// A token id from JSON: a boolean is 0 or 1, a fraction is truncated toward
// zero. A number outside int32 is refused like a value of the wrong type,
// rather than converted into some other id.
std::optional<std::int32_t> token_id_from_json(const nlohmann::json& value) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(kMax)) return std::nullopt;
        return static_cast<std::int32_t>(n);
    }
    if (value.is_number_integer()) {
        const auto n = value.get<std::int64_t>();
        if (n < kMin || n > kMax) return std::nullopt;
        return static_cast<std::int32_t>(n);
    }
    if (value.is_number_float()) {
        const double n = std::trunc(value.get<double>());
        if (!(n >= kMin && n <= kMax)) return std::nullopt;
        return static_cast<std::int32_t>(n);
    }
    return std::nullopt;
}

}  // namespace

HomoSolver::HomoSolver() = default;
HomoSolver::~HomoSolver() = default;

void HomoSolver::initialize() {
    const std::string dir = find_homosolver_dir();
    if (dir.empty()) return;
    const fs::path base = path_from_utf8(dir);
    const fs::path model_path = base / "model_emb_q.bin";
    const fs::path homodict_path = base / "homodict.bin";
    const fs::path vocab_path = base / "vocab.bin";
    const fs::path added_tokens_path = base / "added_tokens.bin";

    for (const fs::path& needed : {model_path, homodict_path, vocab_path}) {
        if (!fs::exists(needed)) {
            problem = "Homograph model file not found: " + path_to_utf8(needed);
            return;
        }
    }
    // A file that does not decrypt says why; one that decrypts but does not
    // parse is "not a homograph list".
    const auto unreadable = [this](const fs::path& path) {
        const std::string why = data_file_problem(path_to_utf8(path));
        problem = "Failed to read homograph file: " + path_to_utf8(path) + " (" +
                  (why.empty() ? "not what the homograph stage reads" : why) + ")";
    };
    if (!load_vocab(path_to_utf8(vocab_path), path_to_utf8(added_tokens_path))) {
        unreadable(vocab_path);
        return;
    }
    if (!load_homodict(path_to_utf8(homodict_path))) {
        unreadable(homodict_path);
        return;
    }
    std::unique_ptr<HomographModel> loaded = load_homograph_model(path_to_utf8(model_path), &problem);
    if (!loaded) return;
    model = std::move(loaded);
    model_dir = dir;
    initialized = true;
}

bool HomoSolver::load_vocab(const std::string& vocab_path, const std::string& added_tokens_path) {
    std::string text;
    if (!decrypt_text(vocab_path, text)) return false;

    // Every line counts, an empty one too; a final line feed ends the last
    // line rather than starting an empty one.
    const std::string_view all(text);
    std::int32_t id = 0;
    for (std::size_t pos = 0; pos < all.size();) {
        const std::size_t feed = all.find('\n', pos);
        const std::size_t line_end = feed == std::string_view::npos ? all.size() : feed;
        std::string_view line = all.substr(pos, line_end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        vocab[std::string(line)] = id++;
        pos = line_end + 1;
    }

    const auto take_id = [this](const char* token, std::int32_t& field) {
        if (const auto it = vocab.find(token); it != vocab.end()) field = it->second;
    };
    take_id("[PAD]", pad_id);
    take_id("[UNK]", unk_id);
    take_id("[CLS]", cls_id);
    take_id("[SEP]", sep_id);

    // Extra tokens are optional: a broken file only means fewer entries.
    std::string added;
    if (fs::exists(path_from_utf8(added_tokens_path)) && decrypt_text(added_tokens_path, added)) {
        const nlohmann::json tokens = parse_json(added);
        if (tokens.is_object()) {
            for (const auto& [token, value] : tokens.items()) {
                const std::optional<std::int32_t> token_id = token_id_from_json(value);
                if (!token_id) break;
                vocab[token] = *token_id;
            }
        }
    }

    take_id(kHomoOpenToken, homo_open_id);
    take_id(kHomoCloseToken, homo_close_id);
    return !vocab.empty();
}

bool HomoSolver::load_homodict(const std::string& path) {
    std::string text;
    if (!decrypt_text(path, text)) return false;
    const nlohmann::json entries = parse_json(text);
    if (!entries.is_object()) return false;
    for (const auto& [key, value] : entries.items()) {
        if (!value.is_array()) return false;
        std::vector<std::string> variants;
        variants.reserve(value.size());
        for (const auto& variant : value) {
            if (!variant.is_string()) return false;
            variants.push_back(variant.get<std::string>());
        }
        homodict[key] = std::move(variants);
    }
    return !homodict.empty();
}

bool HomoSolver::load_model(const std::string& path) {
    std::unique_ptr<HomographModel> loaded = load_homograph_model(path);
    if (!loaded) return false;
    model = std::move(loaded);
    return true;
}

std::vector<std::int32_t> HomoSolver::encode(const std::string& text) const {
    return wordpiece_encode(text, vocab, cls_id, sep_id, unk_id);
}

std::vector<std::int32_t> HomoSolver::row(std::string_view text,
                                          const HomographOccurrence& occurrence,
                                          PieceCache& cache) const {
    const PieceIds piece_ids = [this](std::string_view piece) {
        return wordpiece_ids(piece, vocab, unk_id);
    };
    return homograph_window(text, occurrence, {cls_id, sep_id, homo_open_id, homo_close_id},
                            piece_ids, cache);
}

std::string HomoSolver::resolve(const std::string& text) const {
    return resolve(text, 0, text.size());
}

std::string HomoSolver::resolve(std::string_view text, std::size_t begin, std::size_t end) const {
    end = std::min(end, text.size());
    begin = std::min(begin, end);
    std::string output(text.substr(begin, end - begin));
    if (output.empty()) return output;
    std::vector<HomographOccurrence> occurrences = find_homographs(output, homodict);
    if (occurrences.empty()) return output;

    std::vector<HomographRow> rows;
    std::vector<const HomographOccurrence*> row_occurrences;
    PieceCache cache;
    for (HomographOccurrence& occurrence : occurrences) {
        // Rows see the occurrence where it stands in the whole text.
        HomographOccurrence placed = occurrence;
        placed.start += begin;
        placed.end += begin;
        std::vector<std::int32_t> ids = row(text, placed, cache);
        const auto open = std::find(ids.begin(), ids.end(), homo_open_id);
        const auto close = std::find(ids.begin(), ids.end(), homo_close_id);
        if (open == ids.end() || close == ids.end()) continue;
        const std::int64_t open_index = open - ids.begin();
        const std::int64_t close_index = close - ids.begin();
        rows.push_back({std::move(ids), open_index, close_index});
        row_occurrences.push_back(&occurrence);
    }
    if (rows.empty()) return output;
    if (!model) throw std::runtime_error("Homograph model not loaded");

    // Batches of rows padded to their longest; every row already fits the
    // classifier and holds its markers.
    std::vector<float> choices;
    choices.reserve(rows.size());
    for (std::size_t first = 0; first < rows.size(); first += kHomographBatchRows) {
        const std::size_t last = std::min(rows.size(), first + kHomographBatchRows);
        const std::vector<HomographRow> batch(
            std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(first)),
            std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(last)));
        const std::vector<float> picked = model->choose(batch, pad_id);
        if (picked.size() != batch.size()) {
            throw std::runtime_error("Homograph model gave a choice count unlike its rows");
        }
        choices.insert(choices.end(), picked.begin(), picked.end());
    }

    std::ptrdiff_t shift = 0;
    for (std::size_t i = 0; i < row_occurrences.size(); ++i) {
        const HomographOccurrence& occurrence = *row_occurrences[i];
        const float x = choices[i];
        std::vector<std::string> variants = homodict.at(occurrence.key);
        if (variants.empty()) continue;  // nothing to choose: the word stays as written
        std::sort(variants.begin(), variants.end());
        // NaN and out-of-range choices fall back to the first variant.
        const std::size_t choice = (x >= 0.0f && x < static_cast<float>(variants.size()))
                                       ? static_cast<std::size_t>(x)
                                       : 0;
        const std::string replacement = cased_variant(occurrence.word, variants[choice]);
        const std::size_t length = occurrence.end - occurrence.start;
        output.replace(
            static_cast<std::size_t>(static_cast<std::ptrdiff_t>(occurrence.start) + shift), length,
            replacement);
        // The real difference in length, so that a variant spelt longer or
        // shorter than its word cannot push later replacements off their bytes.
        shift +=
            static_cast<std::ptrdiff_t>(replacement.size()) - static_cast<std::ptrdiff_t>(length);
    }
    return output;
}

}  // namespace zelvan_tts
