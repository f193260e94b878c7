#include "homosolver/wordpiece_tokenizer.h"

#include "shared/symbols/code_points.h"

namespace zelvan_tts {

namespace {

bool is_token_break(char32_t cp) { return cp == 0x09 || cp == 0x0A || cp == 0x0D || cp == 0x20; }

bool is_ascii_punctuation(char32_t cp) {
    return (cp >= 33 && cp <= 47) || (cp >= 58 && cp <= 64) || (cp >= 91 && cp <= 96) ||
           (cp >= 123 && cp <= 126);
}

void emit_token(std::string& token, std::vector<std::string>& out) {
    if (token.empty()) return;
    if (token == kHomoOpenToken || token == kHomoCloseToken) {
        out.push_back(token);
    } else {
        for (std::string& piece : split_punctuation(token)) out.push_back(std::move(piece));
    }
    token.clear();
}

}  // namespace

std::vector<std::string> basic_tokenize(std::string_view text) {
    std::vector<std::string> out;
    std::string token;
    for (const char32_t cp : utf8_to_utf32(text)) {
        if (cp == 0 || cp == 0xFFFD) continue;
        if (is_token_break(cp)) {
            emit_token(token, out);
        } else {
            append_utf8(token, cp);
        }
    }
    emit_token(token, out);
    return out;
}

std::vector<std::string> split_punctuation(const std::string& token) {
    std::vector<std::string> out;
    std::string piece;
    for (const char32_t cp : utf8_to_utf32(token)) {
        if (is_ascii_punctuation(cp)) {
            if (!piece.empty()) out.push_back(std::move(piece));
            piece.clear();
            out.emplace_back(1, static_cast<char>(cp));
        } else {
            append_utf8(piece, cp);
        }
    }
    if (!piece.empty()) out.push_back(std::move(piece));
    return out;
}

std::vector<std::string> wordpiece(const std::string& token, const WordPieceVocab& vocab) {
    if (token.size() > kMaxWordPieceTokenBytes) return {kUnknownToken};

    // Byte offset of every code point, so that candidates are plain substrings.
    std::vector<std::size_t> offsets;
    offsets.reserve(token.size() + 1);
    for (std::size_t i = 0; i < token.size(); i += utf8_char_length(token[i])) offsets.push_back(i);
    const std::size_t n = offsets.size();
    offsets.push_back(token.size());

    std::vector<std::string> pieces;
    std::string candidate;  // reused: the search allocates once per token
    std::size_t start = 0;
    while (start < n) {
        std::size_t end = n;
        bool found = false;
        while (end > start) {
            candidate.assign(start > 0 ? "##" : "");
            candidate.append(token, offsets[start], offsets[end] - offsets[start]);
            if (vocab.count(candidate) != 0) {
                found = true;
                break;
            }
            --end;
        }
        if (!found) return {kUnknownToken};
        pieces.push_back(candidate);
        start = end;
    }
    return pieces;
}

std::vector<std::int32_t> wordpiece_ids(std::string_view text, const WordPieceVocab& vocab,
                                        std::int32_t unk_id) {
    std::vector<std::int32_t> ids;
    for (const std::string& token : basic_tokenize(text)) {
        if (const auto it = vocab.find(token); it != vocab.end()) {
            ids.push_back(it->second);
            continue;
        }
        for (const std::string& piece : wordpiece(token, vocab)) {
            const auto it = vocab.find(piece);
            ids.push_back(it != vocab.end() ? it->second : unk_id);
        }
    }
    return ids;
}

std::vector<std::int32_t> wordpiece_encode(const std::string& text, const WordPieceVocab& vocab,
                                           std::int32_t cls_id, std::int32_t sep_id,
                                           std::int32_t unk_id) {
    std::vector<std::int32_t> ids{cls_id};
    const std::vector<std::int32_t> pieces = wordpiece_ids(text, vocab, unk_id);
    ids.insert(ids.end(), pieces.begin(), pieces.end());
    ids.push_back(sep_id);
    return ids;
}

}  // namespace zelvan_tts
