// The homograph classifier and its resources for the tests and benchmarks,
// packed with the program key like an installation's files. Nothing here
// needs LibTorch's headers.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zelvan_tts::test_models {

// The test classifier stores its word embeddings quantised:
// value = kHomographScale * (stored - kHomographZeroPoint), stored as int8.
inline constexpr float kHomographScale = 0.5f;
inline constexpr float kHomographZeroPoint = 3.0f;

enum class HomographModelKind {
    // One logit per row, shape [B]: column 0 of the embedding of the first id
    // after the [HOMO] position plus column 1 of the embedding of the row's
    // last id. Raises when a row is longer than 512 ids or a marker position
    // lies outside the row.
    Logit,
    // The same logits as [B, 1].
    Column,
    // Two values per row, [B, 2]: not a logit per row.
    TwoPerRow,
    // NaN for every row.
    NotANumber,
    // forward raises "test homograph model failure".
    Raising,
};

struct HomographModelOptions {
    HomographModelKind kind = HomographModelKind::Logit;
    // Token -> logit of a row whose first id after [HOMO] is that token's.
    std::map<std::string, float> word_logits;
    // Token -> amount added to a row's logit when the row ends in that token
    // (after padding and the cut).
    std::map<std::string, float> last_id_logits;
    // Word logit of every token not named in word_logits.
    float default_logit = -1.0f;
    // Without bert.scale the stored table cannot be restored.
    bool with_scale = true;
    // Self-attention-like layers over the whole batch: cost without effect on
    // the logits, for benchmarks. hidden_size is the embedding width (>= 2).
    int encoder_layers = 0;
    int hidden_size = 2;
};

struct HomographResources {
    std::vector<std::string> vocab;                // one token per line; line n has id n
    bool crlf = false;                             // CR LF line ends instead of LF
    std::optional<std::string> added_tokens_json;  // absent: no added_tokens.bin
    std::string homodict_json;
    HomographModelOptions model;
};

// Special tokens [PAD] [UNK] [CLS] [SEP] at 0..3, [HOMO] [/HOMO] at 4, 5, then
// "замок" "Замок" "ЗАМОК" "все" "Все" "мука" "да" "кот" "," "." and
// the pieces "при" "##вет"; a dictionary with замок (з+амок, зам+ок), все
// (вс+е, вс+ё) and мука (м+ука, мук+а); logits +2 for замок, Замок, ЗАМОК
// and все, -2 for мука.
HomographResources standard_homograph_resources();

// Token -> id as the engine reads them: the vocabulary's lines (a later
// duplicate wins), then the integer members of the added tokens.
std::map<std::string, std::int64_t> homograph_token_ids(const HomographResources& resources);

// Writes model_emb_q.bin, vocab.bin, homodict.bin and (when given)
// added_tokens.bin into `dir` (UTF-8), creating it. An absent
// added_tokens.bin is removed.
void write_homograph_resources(const std::string& dir, const HomographResources& resources);

// Writes the packed classifier alone, its embedding table covering `token_ids`.
void write_homograph_model(const std::string& path,
                           const std::map<std::string, std::int64_t>& token_ids,
                           const HomographModelOptions& options);

}  // namespace zelvan_tts::test_models
