// The homograph stage's text side on arbitrary text: the word-piece
// tokenizer and the search for dictionary words, with marking and casing of
// what the search finds.
#include "homosolver/homograph_text.h"
#include "homosolver/wordpiece_tokenizer.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace zelvan_tts;

namespace {

const WordPieceVocab& vocab() {
    static const WordPieceVocab v = {
        {"[PAD]", 0},   {"[UNK]", 1}, {"[CLS]", 2}, {"[SEP]", 3}, {"[HOMO]", 4},
        {"[/HOMO]", 5}, {"замок", 6}, {"все", 7},   {"при", 8},   {"##вет", 9},
        {"##е", 10},    {"в", 11},    {",", 12},    {".", 13},    {"a", 14},
        {"##b", 15},    {"##", 16},   {"#", 17},    {"##ё", 18},  {"Замок", 19},
    };
    return v;
}

const HomographDictionary& dictionary() {
    static const HomographDictionary d = {
        {"замок", {"з+амок", "зам+ок"}},
        {"все", {"вс+е", "вс+ё"}},
        {"мука", {"м+ука", "мук+а"}},
        {"ёж", {"ёж"}},
        {"і", {"+і"}},
    };
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    for (const std::string& token : basic_tokenize(text)) {
        if (token.empty()) std::abort();
    }
    const auto ids = wordpiece_encode(text, vocab(), 2, 3, 1);
    if (ids.size() < 2 || ids.front() != 2 || ids.back() != 3) std::abort();

    for (const HomographOccurrence& found : find_homographs(text, dictionary())) {
        if (found.start >= found.end || found.end > text.size()) std::abort();
        if (text.compare(found.start, found.end - found.start, found.word) != 0) std::abort();
        const auto entry = dictionary().find(found.key);
        if (entry == dictionary().end()) std::abort();
        const std::string marked = mark_homograph(text, found);
        if (marked.size() <= text.size()) std::abort();
        for (const std::string& variant : entry->second) cased_variant(found.word, variant);
    }
    // Casing works on any pair of words, not only on dictionary entries.
    const std::size_t half = size / 2;
    cased_variant(text.substr(0, half), text.substr(half));
    return 0;
}
