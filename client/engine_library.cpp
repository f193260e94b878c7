#include "client/engine_library.h"

#include "include/zelvan_tts.h"
#include "platform/dynamic_library.h"
#include "platform/module_path.h"

#include <filesystem>
#include <stdexcept>
#include <string>

namespace zelvan_tts {

namespace {

// The library of the interface's major version, by its run-time name.
#if defined(_WIN32)
const std::string kLibraryFile = "zelvan_tts.dll";
#else
const std::string kLibraryFile = "libzelvan_tts.so." + std::to_string(ZELVAN_TTS_VERSION_MAJOR);
#endif

// Points `function` at the library's export `name`, typed by the header's
// declaration.
template <typename Pointer>
void bind(void* library, const char* name, Pointer& function) {
    function = reinterpret_cast<Pointer>(library_symbol(library, name));
    if (function == nullptr)
        throw std::runtime_error(std::string("The engine library lacks ") + name);
}

}  // namespace

struct EngineLibrary::Api {
    decltype(&zelvan_tts_version) version;
    decltype(&zelvan_tts_last_error) last_error;
    decltype(&zelvan_tts_default_params) default_params;
    decltype(&zelvan_tts_engine_open) engine_open;
    decltype(&zelvan_tts_engine_open_with_options) engine_open_with_options;
    decltype(&zelvan_tts_engine_close) engine_close;
    decltype(&zelvan_tts_process_text) process_text;
    decltype(&zelvan_tts_processed_text_free) processed_text_free;
};

EngineLibrary::EngineLibrary(bool homographs, bool stress, bool reading) : api_(std::make_unique<Api>()) {
    // The program's own first: beside it (the build tree, Windows), then in
    // the lib folder beside its bin (an installation), then the system's.
    const std::filesystem::path folder = running_module_file().parent_path();
    std::string error;
    void* library = nullptr;
    for (const std::filesystem::path& file :
         {folder / kLibraryFile, folder / ".." / "lib" / kLibraryFile,
          std::filesystem::path(kLibraryFile)}) {
        std::string reason;
        library = load_library(file, reason);
        if (library != nullptr) break;
        // Why a library that is there did not load says the most.
        std::error_code ec;
        if (error.empty() || std::filesystem::exists(file, ec)) error = reason;
    }
    if (library == nullptr)
        throw std::runtime_error("Cannot load the engine library: " + error);

    Api& api = *api_;
    bind(library, "zelvan_tts_version", api.version);
    // Functions of another major version may take other arguments.
    const std::string version = api.version();
    if (version.rfind(std::to_string(ZELVAN_TTS_VERSION_MAJOR) + ".", 0) != 0)
        throw std::runtime_error("The engine library is of another version: " + version);
    bind(library, "zelvan_tts_last_error", api.last_error);
    bind(library, "zelvan_tts_default_params", api.default_params);
    bind(library, "zelvan_tts_engine_open", api.engine_open);
    bind(library, "zelvan_tts_engine_close", api.engine_close);
    bind(library, "zelvan_tts_process_text", api.process_text);
    bind(library, "zelvan_tts_processed_text_free", api.processed_text_free);

    // A 1.0 library has no options beyond the parameters, and no reading.
    api.engine_open_with_options = reinterpret_cast<decltype(api.engine_open_with_options)>(
        library_symbol(library, "zelvan_tts_engine_open_with_options"));

    const auto mode = [](bool on) { return on ? ZELVAN_TTS_STAGE_ON : ZELVAN_TTS_STAGE_OFF; };
    zelvan_tts_engine_options options{};  // members it does not set stay zero
    options.size = sizeof(options);
    options.params = api.default_params();
    options.params.homographs = mode(homographs);
    options.params.stress = mode(stress);
    options.reading = mode(reading);
    const zelvan_tts_status status =
        api.engine_open_with_options ? api.engine_open_with_options(&options, &engine_)
                                     : api.engine_open(&options.params, &engine_);
    if (status != ZELVAN_TTS_OK)
        throw std::runtime_error(std::string("The engine did not start: ") + api.last_error());
}

EngineLibrary::~EngineLibrary() { api_->engine_close(engine_); }

TextSteps EngineLibrary::process_text(std::string_view text, int voice) {
    zelvan_tts_processed_text* out = nullptr;
    if (api_->process_text(engine_, text.data(), text.size(), voice, &out) != ZELVAN_TTS_OK) {
        throw std::runtime_error(std::string("The engine could not process the text: ") +
                                 api_->last_error());
    }
    TextSteps steps{out->numbers, out->dictionary, out->homographs, out->stress, out->script};
    api_->processed_text_free(out);
    return steps;
}

}  // namespace zelvan_tts
