// libzelvan_tts: the C interface of include/zelvan_tts.h. What needs no
// engine (the version, the voice table, the defaults) lives here; the
// engine and LibTorch live in a private library below this one's folder
// (zelvan_tts-1/libzelvan_tts_engine.so), loaded when the first engine opens,
// so that a program that links this library starts as fast as any other.
#include "zelvan_tts.h"

#include "engine/model_constants.h"
#include "library/core_table.h"
#include "shared/symbols/code_points.h"
#include "shared/symbols/speakers.h"
#ifndef ZELVAN_TTS_CORE_LINKED
#include "platform/dynamic_library.h"
#include "platform/module_path.h"
#include "platform/utf8_path.h"
#endif

#include <array>
#include <cstring>
#include <mutex>
#include <string>

namespace {

using namespace zelvan_tts;

thread_local std::string last_error;

zelvan_tts_status fail(zelvan_tts_status status, const std::string& message) {
    last_error = message;
    return status;
}

// The voice table with UTF-8 display names, made once.
struct VoiceTexts {
    std::array<std::string, kSpeakerTableSize> display;
};

const VoiceTexts& voice_texts() {
    static const VoiceTexts texts = [] {
        VoiceTexts t;
        for (std::size_t i = 0; i < kSpeakerTableSize; ++i) {
            t.display[i] = utf16_to_utf8(speakers[i].display_name);
        }
        return t;
    }();
    return texts;
}

// The engine's functions; null with `error` set when its library cannot be
// loaded (tried again at the next open).
const zelvan_tts_core_table* core(std::string& error) {
#ifdef ZELVAN_TTS_CORE_LINKED
    (void)error;
    static const zelvan_tts_core_table* const table = zelvan_tts_core_functions(nullptr);
    return table;
#else
    static std::mutex mutex;
    static const zelvan_tts_core_table* table = nullptr;
    const std::lock_guard<std::mutex> lock(mutex);
    if (table != nullptr) return table;
    const std::filesystem::path dir = running_module_file().parent_path();
    const std::filesystem::path file = dir / "zelvan_tts-1" / "libzelvan_tts_engine.so";
    std::string reason;
    std::error_code ec;
    // A copy of this library away from its folder (as a test makes) finds
    // the engine library through its own search path, the build tree's.
    void* library = std::filesystem::exists(file, ec) || !std::filesystem::exists(dir, ec)
                        ? load_library(file, reason)
                        : load_library(file.filename(), reason);
    if (library == nullptr) {
        error = "Engine library not loaded: " + path_to_utf8(file) + " (" + reason + ")";
        return nullptr;
    }
    const auto entry = reinterpret_cast<decltype(&zelvan_tts_core_functions)>(
        library_symbol(library, kCoreEntry));
    const zelvan_tts_core_table* loaded = entry ? entry(path_to_utf8(dir).c_str()) : nullptr;
    if (loaded == nullptr || loaded->size != sizeof(zelvan_tts_core_table)) {
        error = "Engine library of another version: " + path_to_utf8(file);
        return nullptr;
    }
    table = loaded;
    return table;
#endif
}

// The engine's functions once an engine exists: it came from them.
const zelvan_tts_core_table& loaded_core() {
    std::string unused;
    return *core(unused);
}

// Takes the engine's message of the call that just returned.
template <typename Result>
Result with_message(Result result) {
    last_error = loaded_core().last_error();
    return result;
}

}  // namespace

extern "C" {

const char* zelvan_tts_version(void) { return "1.1.0"; }

const char* zelvan_tts_last_error(void) { return last_error.c_str(); }

int zelvan_tts_voice_count(void) { return kSpeakerCount; }

zelvan_tts_status zelvan_tts_voice_info(int index, zelvan_tts_voice* voice) {
    last_error.clear();
    if (voice == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No voice record given");
    if (index < 0 || index >= kSpeakerCount) {
        return fail(ZELVAN_TTS_INVALID_ARGUMENT, "Voice index outside 0..59");
    }
    const SpeakerInfo& s = speakers[static_cast<std::size_t>(index)];
    voice->key = s.speaker_name;
    voice->display_name = voice_texts().display[static_cast<std::size_t>(index)].c_str();
    voice->language = s.lang;
    voice->language_id = s.lcid;
    return ZELVAN_TTS_OK;
}

int zelvan_tts_find_voice(const char* name) {
    if (name == nullptr) return -1;
    return find_voice(name).value_or(-1);
}

zelvan_tts_engine_params zelvan_tts_default_params(void) {
    zelvan_tts_engine_params params;
    params.models_root = nullptr;
    params.threads = 0;
    params.homographs = ZELVAN_TTS_STAGE_FOLLOW_SETTINGS;
    params.stress = ZELVAN_TTS_STAGE_FOLLOW_SETTINGS;
    params.log = nullptr;
    params.log_user_data = nullptr;
    return params;
}

zelvan_tts_status zelvan_tts_engine_open(const zelvan_tts_engine_params* params,
                                         zelvan_tts_engine** engine) {
    zelvan_tts_engine_options options = zelvan_tts_default_options();
    if (params != nullptr) options.params = *params;
    return zelvan_tts_engine_open_with_options(&options, engine);
}

zelvan_tts_status zelvan_tts_engine_open_with_options(const zelvan_tts_engine_options* options,
                                                      zelvan_tts_engine** engine) {
    last_error.clear();
    if (engine == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No place for the engine");
    *engine = nullptr;
    std::string error;
    const zelvan_tts_core_table* table = core(error);
    if (table == nullptr) return fail(ZELVAN_TTS_INTERNAL_ERROR, error);
    return with_message(table->engine_open(options, engine));
}

void zelvan_tts_engine_close(zelvan_tts_engine* engine) {
    if (engine != nullptr) loaded_core().engine_close(engine);
}

size_t zelvan_tts_engine_report(zelvan_tts_engine* engine, char* buffer, size_t size) {
    last_error.clear();
    if (engine == nullptr) {
        fail(ZELVAN_TTS_INVALID_ARGUMENT, "No engine given");
        if (buffer != nullptr && size > 0) buffer[0] = '\0';
        return 0;
    }
    return with_message(loaded_core().engine_report(engine, buffer, size));
}

zelvan_tts_request zelvan_tts_default_request(void) {
    zelvan_tts_request request;
    request.voice = 20;
    request.speed = 1.0f;
    request.pitch = 1.0f;
    request.volume = 1.0f;
    return request;
}

zelvan_tts_status zelvan_tts_synthesize(zelvan_tts_engine* engine, const char* text,
                                        size_t length, const zelvan_tts_request* request,
                                        const zelvan_tts_callbacks* callbacks) {
    return zelvan_tts_synthesize_with_options(engine, text, length, request, callbacks, nullptr);
}

void zelvan_tts_cancel(zelvan_tts_engine* engine) {
    if (engine != nullptr) loaded_core().cancel(engine);
}

zelvan_tts_status zelvan_tts_synthesize_with_options(zelvan_tts_engine* engine, const char* text,
                                                     size_t length,
                                                     const zelvan_tts_request* request,
                                                     const zelvan_tts_callbacks* callbacks,
                                                     const zelvan_tts_synthesis_options* options) {
    last_error.clear();
    if (engine == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No engine given");
    return with_message(
        loaded_core().synthesize(engine, text, length, request, callbacks, options));
}

zelvan_tts_status zelvan_tts_process_text(zelvan_tts_engine* engine, const char* text,
                                          size_t length, int voice,
                                          zelvan_tts_processed_text** out) {
    last_error.clear();
    if (engine == nullptr) return fail(ZELVAN_TTS_INVALID_ARGUMENT, "No engine given");
    return with_message(loaded_core().process_text(engine, text, length, voice, out));
}

void zelvan_tts_processed_text_free(zelvan_tts_processed_text* text) {
    if (text != nullptr) loaded_core().processed_text_free(text);
}

}  // extern "C"
