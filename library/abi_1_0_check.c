/* A program of the library's 1.0 days: built against the 1.0 header as it
 * was released, it must run unchanged against every 1.x library. It uses
 * every 1.0 struct and function and prints the first thing that differs.
 *
 *   abi_1_0_check MODELS_ROOT
 */
#include "zelvan_tts_1_0.h"

#include <stdio.h>
#include <string.h>

struct heard {
    size_t samples;
    size_t words;
    int bad_word; /* a word outside the text, or running backwards */
    double last_end;
};

static const char kText[] = "Я купил 21 книгу.";

static int on_audio(void* user_data, const float* samples, size_t count) {
    struct heard* h = user_data;
    size_t i;
    for (i = 0; i < count; ++i)
        if (!(samples[i] >= -1.0f && samples[i] <= 1.0f)) h->bad_word = 1;
    h->samples += count;
    return 0;
}

static void on_word(void* user_data, const zelvan_tts_word* word) {
    struct heard* h = user_data;
    h->words += 1;
    if (word->text_offset + word->text_length > sizeof kText - 1 || word->text_length == 0 ||
        word->end < word->start || word->start < h->last_end - 1e-6)
        h->bad_word = 1;
    h->last_end = word->end;
}

#define CHECK(condition, what)                       \
    do {                                             \
        if (!(condition)) {                          \
            printf("1.0 program: %s\n", what);       \
            return 1;                                \
        }                                            \
    } while (0)

int main(int argc, char** argv) {
    zelvan_tts_voice voice;
    zelvan_tts_engine_params params;
    zelvan_tts_engine* engine = NULL;
    zelvan_tts_request request;
    zelvan_tts_callbacks callbacks;
    zelvan_tts_processed_text* processed = NULL;
    struct heard h = {0, 0, 0, 0.0};
    char report[512];

    CHECK(argc == 2, "usage: abi_1_0_check MODELS_ROOT");
    CHECK(strncmp(zelvan_tts_version(), "1.", 2) == 0, "version is not 1.x");
    CHECK(zelvan_tts_voice_count() == 60, "voice count");
    CHECK(zelvan_tts_voice_info(20, &voice) == ZELVAN_TTS_OK, "voice_info");
    CHECK(strcmp(voice.key, "ru_azat") == 0 && strcmp(voice.language, "rus") == 0 &&
              voice.language_id == 0x0419,
          "voice 20 is not ru_azat, rus, 0x0419");
    CHECK(zelvan_tts_find_voice("Azat (Russian)") == 20, "find_voice");

    params = zelvan_tts_default_params();
    CHECK(params.models_root == NULL && params.threads == 0 && params.log == NULL,
          "default params");
    params.models_root = argv[1];
    params.threads = 1;
    CHECK(zelvan_tts_engine_open(&params, &engine) == ZELVAN_TTS_OK && engine != NULL,
          zelvan_tts_last_error());
    CHECK(zelvan_tts_engine_report(engine, report, sizeof report) > 0 &&
              strncmp(report, "voice model: ", 13) == 0,
          "engine_report");

    request = zelvan_tts_default_request();
    CHECK(request.voice == 20 && request.speed == 1.0f && request.volume == 1.0f,
          "default request");
    callbacks.audio = on_audio;
    callbacks.word = on_word;
    callbacks.user_data = &h;
    CHECK(zelvan_tts_synthesize(engine, kText, sizeof kText - 1, &request, &callbacks) ==
              ZELVAN_TTS_OK,
          zelvan_tts_last_error());
    /* Я, купил, двадцать, одну, книгу */
    CHECK(h.samples > 0 && h.words == 5 && !h.bad_word, "audio and words of a sentence");
    request.voice = 60;
    CHECK(zelvan_tts_synthesize(engine, kText, 4, &request, &callbacks) ==
                  ZELVAN_TTS_INVALID_ARGUMENT &&
              strlen(zelvan_tts_last_error()) > 0,
          "voice 60 refused with a message");

    CHECK(zelvan_tts_process_text(engine, "2 дома", strlen("2 дома"), 20, &processed) == ZELVAN_TTS_OK,
          zelvan_tts_last_error());
    /* the number spelled out ("дв+а", with its stress mark) */
    CHECK(strchr(processed->numbers, '2') == NULL && strstr(processed->numbers, "дв") != NULL,
          "process_text: numbers");
    CHECK(strstr(processed->script, "ома") != NULL, "process_text: script");
    zelvan_tts_processed_text_free(processed);
    zelvan_tts_engine_close(engine);
    printf("1.0 program: ok\n");
    return 0;
}
