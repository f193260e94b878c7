/* The C interface used from C: this file is compiled as C, so the header
 * must be plain C. Returns the number of failed checks and describes the
 * first in `report`. */
#include "zelvan_tts.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

struct counts {
    size_t samples;
    size_t words;
    int stop_after; /* blocks; 0: never */
    int blocks;
};

static int count_audio(void* user_data, const float* samples, size_t count) {
    struct counts* c = user_data;
    (void)samples;
    c->samples += count;
    c->blocks += 1;
    return c->stop_after != 0 && c->blocks >= c->stop_after;
}

static void count_word(void* user_data, const zelvan_tts_word* word) {
    struct counts* c = user_data;
    (void)word;
    c->words += 1;
}

#define CHECK(condition)                                                          \
    do {                                                                          \
        if (!(condition)) {                                                       \
            if (failures++ == 0) snprintf(report, report_size, "%s", #condition); \
        }                                                                         \
    } while (0)

int zelvan_c_api_checks(const char* models_root, char* report, size_t report_size) {
    int failures = 0;
    zelvan_tts_voice voice;
    CHECK(zelvan_tts_voice_count() == 60);
    CHECK(zelvan_tts_voice_info(20, &voice) == ZELVAN_TTS_OK && strcmp(voice.language, "rus") == 0);
    CHECK(zelvan_tts_find_voice(voice.key) == 20);

    zelvan_tts_engine_params params = zelvan_tts_default_params();
    params.models_root = models_root;
    params.homographs = ZELVAN_TTS_STAGE_OFF;
    zelvan_tts_engine* engine = NULL;
    CHECK(zelvan_tts_engine_open(&params, &engine) == ZELVAN_TTS_OK && engine != NULL);
    if (engine == NULL) return failures;

    struct counts c = {0, 0, 0, 0};
    zelvan_tts_callbacks callbacks = {count_audio, count_word, &c};
    const char* text = "Да. Нет, 5.";
    CHECK(zelvan_tts_synthesize(engine, text, strlen(text), NULL, &callbacks) == ZELVAN_TTS_OK);
    CHECK(c.samples > 0 && c.words == 3);

    struct counts stop = {0, 0, 1, 0};
    callbacks.user_data = &stop;
    CHECK(zelvan_tts_synthesize(engine, text, strlen(text), NULL, &callbacks) ==
          ZELVAN_TTS_CANCELLED);
    CHECK(stop.blocks == 1);

    zelvan_tts_processed_text* processed = NULL;
    CHECK(zelvan_tts_process_text(engine, text, strlen(text), 20, &processed) == ZELVAN_TTS_OK);
    CHECK(processed != NULL && strcmp(processed->numbers, "Да. Нет, п+ять.") == 0);
    zelvan_tts_processed_text_free(processed);
    zelvan_tts_engine_close(engine);
    return failures;
}
