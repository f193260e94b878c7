// The text steps of a synthesis, from the caller's text to the text that is
// cut into chunks. The synthesis and the text preview of the zelvan_tts
// command run exactly these steps.
#pragma once

#include <string>

namespace zelvan_tts {

// Every intermediate text of one run, in the order the steps produce them.
struct ProcessedText {
    std::string numbers;     // numbers spelled out
    std::string homographs;  // after homograph resolution
    std::string stress;      // after stress placement
    std::string script;      // transliterated: what is cut into chunks
};

// Runs the text steps for a voice of language `lang`.
ProcessedText process_text(const std::string& text, const std::string& lang);

}  // namespace zelvan_tts
