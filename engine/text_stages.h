// The text steps of a synthesis, from the caller's text to the text that is
// cut into chunks: numbers, homographs, stress, script. The synthesis and
// the text preview of the zelvan_tts command run exactly these steps.
#pragma once

#include "engine/settings.h"

#include <string>

namespace zelvan_tts {

// Every intermediate text of one run, in the order the steps produce them.
struct ProcessedText {
    std::string numbers;     // numbers spelled out
    std::string homographs;  // after homograph resolution
    std::string stress;      // after stress placement
    std::string script;      // transliterated: what is cut into chunks
};

// The settings one synthesis runs with: the store's current copy, taken
// once per call. Stages switched off give back the memory they hold.
RuntimeSettings settings_for_synthesis();

// Runs the text steps for a voice of language `lang` under `settings`. For
// the languages the stress stage serves, writes the text before and after
// stress placement to the debugger output.
ProcessedText process_text(const std::string& text, const std::string& lang,
                           const RuntimeSettings& settings);

}  // namespace zelvan_tts
