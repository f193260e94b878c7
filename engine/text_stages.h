// The text steps of a synthesis, from the caller's text to the text that is
// cut into chunks: written forms, numbers, the user's dictionary,
// homographs, stress, script. The synthesis and
// the text preview of the zelvan_tts command run exactly these steps.
//
// A text goes through the steps a block of whole sentences at a time, so
// that the first audio of a long text waits for its first block only. Every
// step reads a bounded neighbourhood of each word, and the homograph step is
// given the text around a block as context: the blocks' results, put back
// together, are exactly what the whole text would give.
#pragma once

#include "core/settings.h"
#include "text/user_dictionary.h"
#include "text/written_forms.h"
#include "engine/text_blocks.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace zelvan_tts {

// Every intermediate text of one run, in the order the steps produce them.
struct ProcessedText {
    std::string reading;     // written forms read in full ("10 000", "т.е.")
    std::vector<ReadingEdit> reading_edits;  // what that step changed, in order
    std::string numbers;     // numbers spelled out
    std::string dictionary;  // after the user's dictionary
    std::string homographs;  // after homograph resolution
    std::string stress;      // after stress placement
    std::string script;      // transliterated: what is cut into chunks
};

// Receives each diagnostic line of the text steps, without its line feed.
// An empty sink sends them to the debugger output.
using LogSink = std::function<void(const std::string& line)>;

// The settings one synthesis runs with: the store's current copy, taken
// once per call. Stages switched off give back the memory they hold.
RuntimeSettings settings_for_synthesis();

// What the text steps run with besides the text and the language.
struct TextStepsOptions {
    RuntimeSettings settings;                      // which optional stages act
    const UserDictionary* dictionary = nullptr;    // the user's readings, if any
    LogSink log;                                   // the diagnostic lines
};

// Runs the text steps for the block [begin, end) of `text` for a voice of
// language `lang`. For the languages the stress stage serves, writes the
// block before and after stress placement to the log.
ProcessedText process_block(std::string_view text, std::size_t begin, std::size_t end,
                            const std::string& lang, const TextStepsOptions& options);

// process_block over every block of the text, the results joined.
ProcessedText process_text(const std::string& text, const std::string& lang,
                           const TextStepsOptions& options);

// process_text with stages as `settings` say and no dictionary.
ProcessedText process_text(const std::string& text, const std::string& lang,
                           const RuntimeSettings& settings);

}  // namespace zelvan_tts
