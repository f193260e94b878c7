// What libzelvan_tts takes from its private engine library, which carries
// the engine and LibTorch and is loaded when the first engine opens: the C
// interface's functions that need an engine. Both libraries come from one
// build; the table's size tells a mismatched pair apart.
#pragma once

#include "zelvan_tts.h"

#include <cstddef>

#if defined(_WIN32)
#define ZELVAN_TTS_CORE_EXPORT
#else
#define ZELVAN_TTS_CORE_EXPORT __attribute__((visibility("default")))
#endif

struct zelvan_tts_core_table {
    std::size_t size;
    // The message of the calling thread's last failure inside the engine.
    const char* (*last_error)();
    zelvan_tts_status (*engine_open)(const zelvan_tts_engine_options* options,
                                     zelvan_tts_engine** engine);
    void (*engine_close)(zelvan_tts_engine* engine);
    size_t (*engine_report)(zelvan_tts_engine* engine, char* buffer, size_t size);
    void (*cancel)(zelvan_tts_engine* engine);
    zelvan_tts_status (*synthesize)(zelvan_tts_engine* engine, const char* text, size_t length,
                                    const zelvan_tts_request* request,
                                    const zelvan_tts_callbacks* callbacks,
                                    const zelvan_tts_synthesis_options* options);
    zelvan_tts_status (*process_text)(zelvan_tts_engine* engine, const char* text,
                                      size_t length, int voice,
                                      zelvan_tts_processed_text** out);
    void (*processed_text_free)(zelvan_tts_processed_text* text);
};

// The engine library's one export. `installation_dir` is the folder of
// libzelvan_tts (UTF-8), where the engine looks for the models as the
// library beside them would; NULL when the engine is linked into it.
extern "C" ZELVAN_TTS_CORE_EXPORT const zelvan_tts_core_table* zelvan_tts_core_functions(const char* installation_dir);
inline constexpr const char* kCoreEntry = "zelvan_tts_core_functions";
