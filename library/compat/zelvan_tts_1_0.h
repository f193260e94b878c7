/* Zelvan TTS: text to speech for Russian and nineteen languages of the
 * region, 60 voices, 48 kHz mono audio with the time of every spoken word.
 *
 * The C interface of libzelvan_tts. Every string is UTF-8. Every function
 * that can fail returns a zelvan_tts_status; the message that goes with the
 * last failure of the calling thread is zelvan_tts_last_error().
 *
 * Threads: an engine may be used from several threads at once. Its
 * syntheses and text previews are serialised: a call waits until the one
 * running on another thread has returned. Engines are independent of each
 * other. Callbacks run on the thread that called, before the call returns,
 * and must not call back into the same engine. zelvan_tts_engine_close must
 * not run while another thread still uses the engine.
 */
#ifndef ZELVAN_TTS_H
#define ZELVAN_TTS_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(ZELVAN_TTS_BUILDING)
#define ZELVAN_TTS_API __declspec(dllexport)
#else
#define ZELVAN_TTS_API __declspec(dllimport)
#endif
#else
#define ZELVAN_TTS_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define ZELVAN_TTS_VERSION_MAJOR 1
#define ZELVAN_TTS_VERSION_MINOR 0
#define ZELVAN_TTS_VERSION_PATCH 0

/* Samples per second of all audio. */
#define ZELVAN_TTS_SAMPLE_RATE 48000

/* The library's version, "MAJOR.MINOR.PATCH"; a static string. */
ZELVAN_TTS_API const char* zelvan_tts_version(void);

typedef enum zelvan_tts_status {
    ZELVAN_TTS_OK = 0,
    /* The audio callback returned non-zero: the synthesis stopped there. */
    ZELVAN_TTS_CANCELLED = 1,
    /* A null pointer where one is not allowed, a voice outside the table, a
     * speed, pitch or volume that is not a finite number, a bad parameter. */
    ZELVAN_TTS_INVALID_ARGUMENT = 2,
    /* No voice model where the engine looked for it. */
    ZELVAN_TTS_MODEL_NOT_FOUND = 3,
    /* The voice model could not be loaded, or failed while speaking. */
    ZELVAN_TTS_MODEL_FAILED = 4,
    /* Anything else that went wrong inside the engine. */
    ZELVAN_TTS_INTERNAL_ERROR = 5
} zelvan_tts_status;

/* The message of the calling thread's last failure ("" when none). Valid
 * until the thread's next call into the library. */
ZELVAN_TTS_API const char* zelvan_tts_last_error(void);

/* ---- voices ---------------------------------------------------------------- */

typedef struct zelvan_tts_voice {
    const char* key;          /* "ru_azat" */
    const char* display_name; /* "Azat (Russian)" */
    const char* language;     /* ISO 639-3: "rus", "kaz", "hye", ... */
    uint16_t language_id;     /* Windows LANGID, 0x0419 for Russian */
} zelvan_tts_voice;

/* The number of voices (60); voices are numbered from 0. */
ZELVAN_TTS_API int zelvan_tts_voice_count(void);

/* Fills `voice` with static strings that live as long as the library.
 * ZELVAN_TTS_INVALID_ARGUMENT for an index outside the table or a null
 * `voice`. */
ZELVAN_TTS_API zelvan_tts_status zelvan_tts_voice_info(int index, zelvan_tts_voice* voice);

/* The number of the voice whose key ("ru_azat"), display name ("Azat
 * (Russian)") or given name ("Azat", the first such voice) is `name`, compared
 * without regard to case; -1 when there is none. */
ZELVAN_TTS_API int zelvan_tts_find_voice(const char* name);

/* ---- engines --------------------------------------------------------------- */

/* How an optional text stage (homograph resolution, stress placement) runs. */
typedef enum zelvan_tts_stage_mode {
    /* As the user's settings file says, re-read when its change signal
     * arrives: what the server and the voice engine do. */
    ZELVAN_TTS_STAGE_FOLLOW_SETTINGS = 0,
    ZELVAN_TTS_STAGE_ON = 1,
    ZELVAN_TTS_STAGE_OFF = 2
} zelvan_tts_stage_mode;

/* Receives each diagnostic line of the engine (the text before and after
 * stress placement, for the languages the stress stage serves), without its
 * line feed. Called on the synthesising thread. */
typedef void (*zelvan_tts_log_fn)(void* user_data, const char* line);

typedef struct zelvan_tts_engine_params {
    /* The folder that holds tts/multivoice_base.bin (or multivoice_base.bin),
     * accentor/ and homosolver/. NULL or "": the usual search, the folder
     * named by ZELVAN_TTS_MODEL_PATH, else "models" beside the program. */
    const char* models_root;
    /* Threads of the voice model; 0 leaves LibTorch's default. */
    int threads;
    zelvan_tts_stage_mode homographs;
    zelvan_tts_stage_mode stress;
    /* NULL: the lines go where the programs write them (the file named by
     * ZELVAN_TTS_DEBUG_LOG, if any). */
    zelvan_tts_log_fn log;
    void* log_user_data;
} zelvan_tts_engine_params;

/* The defaults: the usual search, default threads, both stages following
 * the settings, no log callback. */
ZELVAN_TTS_API zelvan_tts_engine_params zelvan_tts_default_params(void);

typedef struct zelvan_tts_engine zelvan_tts_engine;

/* Loads the voice model and makes an engine; `*engine` is set on success
 * and left NULL otherwise. `params` NULL means the defaults. The stage
 * models load on their first use. The caller owns the engine and closes it
 * with zelvan_tts_engine_close. */
ZELVAN_TTS_API zelvan_tts_status zelvan_tts_engine_open(const zelvan_tts_engine_params* params,
                                                        zelvan_tts_engine** engine);

/* Frees the engine and everything it holds; NULL does nothing. */
ZELVAN_TTS_API void zelvan_tts_engine_close(zelvan_tts_engine* engine);

/* What the engine loaded, one line each ending in a line feed:
 * "voice model: <path>", "stress ru: <path>" (also by, ua) and
 * "homographs: <folder>", or instead of the path "off" for a stage
 * switched off, or the one-line reason (with the file's path) why its
 * model did not load. Loads the stages that are on and not loaded yet.
 * Writes at most `size` bytes to `buffer`, NUL included (NULL or 0: none)
 * and returns the whole report's length without the NUL, as snprintf does;
 * 0 for a NULL engine. A stage model that is missing or broken while its
 * stage is on is also told once per engine when a text first needs it:
 * through the log callback, else on standard error. */
ZELVAN_TTS_API size_t zelvan_tts_engine_report(zelvan_tts_engine* engine, char* buffer,
                                               size_t size);

/* ---- speaking --------------------------------------------------------------- */

typedef struct zelvan_tts_request {
    int voice;    /* 0..59 */
    float speed;  /* tempo factor, 1 = as the voice speaks; 0.05..20, a value
                   * outside acts as the nearest bound */
    float pitch;  /* pitch factor, 1 = unchanged; 0.05..20, likewise */
    float volume; /* linear gain, 1 = unchanged */
} zelvan_tts_request;

/* Voice 20 (Russian), speed, pitch and volume 1. */
ZELVAN_TTS_API zelvan_tts_request zelvan_tts_default_request(void);

/* One spoken word. */
typedef struct zelvan_tts_word {
    double start; /* seconds from the start of the synthesis's audio */
    double end;
    /* The bytes of the caller's text the word comes from. The words of a
     * number spelled out all point at the number as written. */
    size_t text_offset;
    size_t text_length;
} zelvan_tts_word;

/* Receives audio as it is made: `count` samples in [-1, 1] at
 * ZELVAN_TTS_SAMPLE_RATE, valid only during the call. A non-zero return
 * stops the synthesis (ZELVAN_TTS_CANCELLED). */
typedef int (*zelvan_tts_audio_fn)(void* user_data, const float* samples, size_t count);

/* Receives the words of each sentence, in order, just before that
 * sentence's audio. */
typedef void (*zelvan_tts_word_fn)(void* user_data, const zelvan_tts_word* word);

typedef struct zelvan_tts_callbacks {
    zelvan_tts_audio_fn audio; /* required */
    zelvan_tts_word_fn word;   /* may be NULL */
    void* user_data;
} zelvan_tts_callbacks;

/* Speaks `length` bytes of `text` (they need not end with a NUL; invalid
 * UTF-8 is read as U+FFFD). `request` NULL means the default request.
 * ZELVAN_TTS_OK when everything was delivered (also for a text with nothing
 * to say), ZELVAN_TTS_CANCELLED when the audio callback stopped it; the
 * audio and words delivered before a failure stay delivered. */
ZELVAN_TTS_API zelvan_tts_status zelvan_tts_synthesize(zelvan_tts_engine* engine, const char* text,
                                                       size_t length,
                                                       const zelvan_tts_request* request,
                                                       const zelvan_tts_callbacks* callbacks);

/* ---- the text steps ------------------------------------------------------------ */

/* What the engine makes of a text before the voice model reads it: each
 * text as the steps hand it on, NUL-terminated. */
typedef struct zelvan_tts_processed_text {
    const char* numbers;    /* numbers spelled out */
    const char* dictionary; /* the user's dictionary applied */
    const char* homographs; /* homographs resolved */
    const char* stress;     /* stress marks placed */
    const char* script;     /* other scripts written in Cyrillic: what is spoken */
} zelvan_tts_processed_text;

/* Runs the text steps of `voice` on `length` bytes of `text`. On success
 * `*out` is set; the caller frees it with zelvan_tts_processed_text_free. */
ZELVAN_TTS_API zelvan_tts_status zelvan_tts_process_text(zelvan_tts_engine* engine,
                                                         const char* text, size_t length,
                                                         int voice,
                                                         zelvan_tts_processed_text** out);

/* Frees what zelvan_tts_process_text returned; NULL does nothing. */
ZELVAN_TTS_API void zelvan_tts_processed_text_free(zelvan_tts_processed_text* text);

#ifdef __cplusplus
}
#endif

#endif /* ZELVAN_TTS_H */
