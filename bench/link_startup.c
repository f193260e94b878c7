/* A program of an embedder's that links libzelvan_tts: with no argument it
 * lists the voices and exits, as a program that has not opened an engine
 * yet; with a models root it also opens an engine, and prints how long
 * zelvan_tts_engine_open took in milliseconds.
 *
 *   link_startup [MODELS_ROOT]
 */
#include "zelvan_tts.h"

#include <stdio.h>
#include <time.h>

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    int i, voices = zelvan_tts_voice_count();
    for (i = 0; i < voices; ++i) {
        zelvan_tts_voice voice;
        if (zelvan_tts_voice_info(i, &voice) != ZELVAN_TTS_OK) return 1;
    }
    if (argc > 1) {
        zelvan_tts_engine_params params = zelvan_tts_default_params();
        zelvan_tts_engine* engine = NULL;
        double start;
        params.models_root = argv[1];
        start = now_ms();
        if (zelvan_tts_engine_open(&params, &engine) != ZELVAN_TTS_OK) {
            fprintf(stderr, "link_startup: %s\n", zelvan_tts_last_error());
            return 1;
        }
        printf("%.1f\n", now_ms() - start);
        zelvan_tts_engine_close(engine);
    }
    return 0;
}
