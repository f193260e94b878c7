// The engine's text steps for the zelvan_tts command, run by libzelvan_tts
// loaded at run time: only the command that shows them pays for LibTorch and
// the models, and every other command starts in milliseconds.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct zelvan_tts_engine;

namespace zelvan_tts {

// Every intermediate text of one run of the text steps, in their order.
struct TextSteps {
    std::string numbers;     // numbers spelled out
    std::string dictionary;  // the user's dictionary applied
    std::string homographs;  // homographs resolved
    std::string stress;      // stress marks placed
    std::string script;      // other scripts written in Cyrillic: what is spoken
};

class EngineLibrary {
public:
    // Loads the library from this program's folder, else wherever the system
    // finds it, and opens an engine with the optional stages on or off as
    // given. Throws std::runtime_error when either fails.
    EngineLibrary(bool homographs, bool stress, bool reading = true);
    ~EngineLibrary();
    EngineLibrary(const EngineLibrary&) = delete;
    EngineLibrary& operator=(const EngineLibrary&) = delete;

    // The text steps of voice `voice` (0..59) over `text`; throws
    // std::runtime_error when the engine fails.
    TextSteps process_text(std::string_view text, int voice);

private:
    struct Api;
    std::unique_ptr<Api> api_;
    zelvan_tts_engine* engine_ = nullptr;
};

}  // namespace zelvan_tts
