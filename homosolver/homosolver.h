// The homograph classifier and its resources: a BERT-style TorchScript
// model, its word-piece vocabulary and the dictionary of homographs with
// their stressed variants.
#pragma once

#include "homosolver/homograph_model.h"
#include "homosolver/homograph_text.h"
#include "homosolver/homograph_window.h"
#include "homosolver/wordpiece_tokenizer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zelvan_tts {

// Rows per classifier call: a long text is decided a batch at a time.
inline constexpr std::size_t kHomographBatchRows = 64;

class HomoSolver {
public:
    HomoSolver();
    ~HomoSolver();
    HomoSolver(const HomoSolver&) = delete;
    HomoSolver& operator=(const HomoSolver&) = delete;

    // Loads the vocabulary, the dictionary and the model from the homograph
    // directory; sets `initialized` when all three loaded. Never retries by
    // itself. Throws only on an unexpected file-system error.
    void initialize();

    // The vocabulary (one token per line, the line number its id) and, when
    // something exists at `added_tokens_path`, the JSON object of extra
    // tokens. False when the vocabulary does not decrypt or is empty.
    bool load_vocab(const std::string& vocab_path, const std::string& added_tokens_path);

    // The JSON object homograph -> array of variants. False when the file
    // does not decrypt, does not parse, holds a value that is not an array
    // of strings, or is empty.
    bool load_homodict(const std::string& path);

    // The TorchScript classifier in evaluation mode, with its quantised word
    // embeddings restored when the module carries what that takes.
    bool load_model(const std::string& path);

    // [CLS], the word-piece ids of `text`, [SEP]; never truncated.
    std::vector<std::int32_t> encode(const std::string& text) const;

    // `text` with every dictionary word replaced by the variant the
    // classifier chose, in the word's letter case. Throws on a model error;
    // the caller keeps its text then.
    std::string resolve(const std::string& text) const;

    // The bytes [begin, end) of `text`, resolved: the words found there are
    // decided, the text around serves as their context. With `begin` and
    // `end` at white space (or the ends of the text), and the text reaching
    // kHomographContextBytes + 1 bytes beyond them (or to its own ends), the
    // result is exactly that part of what the whole text resolves to.
    std::string resolve(std::string_view text, std::size_t begin, std::size_t end) const;

    // The classifier's row for one occurrence (homograph_window).
    std::vector<std::int32_t> row(std::string_view text, const HomographOccurrence& occurrence,
                                  PieceCache& cache) const;

    bool initialized = false;
    // Why it is not initialised: one line with the file's path and the
    // reason; empty when it is (or when no directory was looked at).
    std::string problem;
    // The folder it loaded from.
    std::string model_dir;
    std::unique_ptr<HomographModel> model;
    HomographDictionary homodict;
    WordPieceVocab vocab;
    std::int32_t cls_id = 2;
    std::int32_t sep_id = 3;
    std::int32_t pad_id = 0;
    std::int32_t unk_id = 1;
    std::int32_t homo_open_id = 83828;
    std::int32_t homo_close_id = 83829;
};

}  // namespace zelvan_tts
