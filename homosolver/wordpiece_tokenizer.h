// The word-piece tokenizer of the homograph classifier: white space and ASCII
// punctuation split a text into tokens, then greedy longest-match-first
// splitting into vocabulary pieces ("##" marks a piece that continues a
// word). Unlike the usual BERT tokenizer it keeps letter case and accents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelvan_tts {

// Token -> id of the classifier's vocabulary.
using WordPieceVocab = std::unordered_map<std::string, std::int32_t>;

// The markers that wrap the word being classified.
inline constexpr const char* kHomoOpenToken = "[HOMO]";
inline constexpr const char* kHomoCloseToken = "[/HOMO]";
inline constexpr const char* kUnknownToken = "[UNK]";

// Tokens longer than this many bytes are not split: they become [UNK].
inline constexpr std::size_t kMaxWordPieceTokenBytes = 200;

// Splits at tab, LF, CR and space only (a no-break space is part of a
// token), drops U+0000 and U+FFFD (undecodable bytes among them), keeps the
// two markers whole and splits every other token with split_punctuation.
std::vector<std::string> basic_tokenize(std::string_view text);

// Cuts a token at each printable ASCII character that is neither a letter
// nor a digit; each such character becomes a piece of its own. Non-ASCII
// punctuation stays inside its piece.
std::vector<std::string> split_punctuation(const std::string& token);

// Greedy longest-match-first pieces of `token` (valid UTF-8) from `vocab`,
// or the single piece [UNK] when the token is too long or some part of it
// has no piece.
std::vector<std::string> wordpiece(const std::string& token, const WordPieceVocab& vocab);

// The ids of the text's pieces (a token that is itself in the vocabulary is
// taken whole; a piece missing from it becomes `unk_id`), without framing.
std::vector<std::int32_t> wordpiece_ids(std::string_view text, const WordPieceVocab& vocab,
                                        std::int32_t unk_id);

// [CLS], the ids of the text's pieces (a token that is itself in the
// vocabulary is taken whole; a piece missing from it becomes `unk_id`), [SEP].
// Never empty and never truncated.
std::vector<std::int32_t> wordpiece_encode(const std::string& text, const WordPieceVocab& vocab,
                                           std::int32_t cls_id, std::int32_t sep_id,
                                           std::int32_t unk_id);

}  // namespace zelvan_tts
