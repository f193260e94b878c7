#include "client/word_labels.h"

#include "engine/text_blocks.h"
#include "engine/text_chunks.h"
#include "engine/word_spans.h"
#include "engine/word_timestamps.h"
#include "text/normalization.h"
#include "text/stress_accents.h"
#include "text/transliteration.h"
#include "text/user_dictionary.h"
#include "text/written_forms.h"

#include <algorithm>

namespace zelvan_tts {

std::string without_stress_marks(std::string word) {
    std::string bare = word;
    bare.erase(std::remove(bare.begin(), bare.end(), '+'), bare.end());
    return bare.empty() ? word : bare;
}

std::vector<LabelledWord> label_words(std::string_view text, std::string_view lang,
                                      const UserDictionary* dictionary, bool reading) {
    std::vector<LabelledWord> out;
    std::size_t begin = 0;
    do {
        const std::size_t end = text_block_end(text, begin);
        const std::string_view block = text.substr(begin, end - begin);
        KeepWritten keep;
        if (dictionary != nullptr)
            keep = [&](std::string_view w) { return dictionary->apply(w, lang) != w; };
        std::vector<ReadingEdit> edits;
        std::string read;
        if (reading && has_written_forms(lang)) {
            read = read_written_forms(text, begin, end, lang, keep, &edits);
            for (ReadingEdit& e : edits) {
                e.begin -= begin;
                e.end -= begin;
            }
        } else {
            read.assign(block);
        }
        std::string spelled = normalize_numbers(stress_accents_to_marks(read), lang);
        if (dictionary != nullptr) spelled = dictionary->apply(spelled, lang);
        const std::string script = transliterate(spelled, lang);
        for (const ChunkWords& chunk :
             chunk_words(block, read, edits, script, lang, kMaxChunkChars, dictionary)) {
            const std::string_view chunk_text =
                std::string_view(script).substr(chunk.chunk.offset, chunk.chunk.length);
            if (!has_speech(chunk_text)) continue;  // the synthesis skips it too
            const std::vector<std::string> spoken = spoken_words(chunk_text);
            for (std::size_t k = 0; k < chunk.words.size() && k < spoken.size(); ++k) {
                out.push_back({without_stress_marks(spoken[k]), begin + chunk.words[k].offset,
                               chunk.words[k].length});
            }
        }
        begin = end;
    } while (begin < text.size());
    return out;
}

}  // namespace zelvan_tts
