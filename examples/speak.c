/* speak: reads a text aloud into a WAV file through libzelvan_tts.
 *
 *   speak OUT.wav "Привет, мир!" [VOICE]
 *
 * Build: cc speak.c $(pkg-config --cflags --libs zelvan_tts) -o speak
 */
#include <zelvan_tts.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct output {
    FILE* file;
    unsigned long samples;
    const char* text; /* to print each word as written */
};

static void put_le(FILE* f, unsigned long value, int bytes) {
    for (int i = 0; i < bytes; ++i) fputc((int)((value >> (8 * i)) & 0xFF), f);
}

static void write_header(FILE* f, unsigned long samples) {
    fwrite("RIFF", 1, 4, f);
    put_le(f, 36 + 2 * samples, 4);
    fwrite("WAVEfmt ", 1, 8, f);
    put_le(f, 16, 4);
    put_le(f, 1, 2); /* PCM */
    put_le(f, 1, 2); /* mono */
    put_le(f, ZELVAN_TTS_SAMPLE_RATE, 4);
    put_le(f, 2 * ZELVAN_TTS_SAMPLE_RATE, 4);
    put_le(f, 2, 2);
    put_le(f, 16, 2);
    fwrite("data", 1, 4, f);
    put_le(f, 2 * samples, 4);
}

static int on_audio(void* user_data, const float* samples, size_t count) {
    struct output* out = user_data;
    for (size_t i = 0; i < count; ++i) {
        const long v = (long)(samples[i] * 32767.0f);
        put_le(out->file, (unsigned long)(v & 0xFFFF), 2);
    }
    out->samples += count;
    return 0;
}

static void on_word(void* user_data, const zelvan_tts_word* word) {
    const struct output* out = user_data;
    printf("%8.3f %8.3f  %.*s\n", word->start, word->end, (int)word->text_length,
           out->text + word->text_offset);
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: speak OUT.wav TEXT [VOICE]\n");
        return 2;
    }
    zelvan_tts_engine* engine = NULL;
    if (zelvan_tts_engine_open(NULL, &engine) != ZELVAN_TTS_OK) {
        fprintf(stderr, "speak: %s\n", zelvan_tts_last_error());
        return 1;
    }
    zelvan_tts_request request = zelvan_tts_default_request();
    if (argc > 3) request.voice = zelvan_tts_find_voice(argv[3]);

    struct output out = {fopen(argv[1], "wb"), 0, argv[2]};
    if (out.file == NULL) {
        fprintf(stderr, "speak: cannot write %s\n", argv[1]);
        zelvan_tts_engine_close(engine);
        return 1;
    }
    write_header(out.file, 0); /* sizes are fixed once the audio is in */

    zelvan_tts_callbacks callbacks = {on_audio, on_word, &out};
    const zelvan_tts_status status = zelvan_tts_synthesize(engine, argv[2], strlen(argv[2]),
                                                           &request, &callbacks);
    fseek(out.file, 0, SEEK_SET);
    write_header(out.file, out.samples);
    fclose(out.file);
    zelvan_tts_engine_close(engine);
    if (status != ZELVAN_TTS_OK) {
        fprintf(stderr, "speak: %s\n", zelvan_tts_last_error());
        return 1;
    }
    return 0;
}
