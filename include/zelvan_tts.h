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
#define ZELVAN_TTS_VERSION_MINOR 1
#define ZELVAN_TTS_VERSION_PATCH 0

/* Samples per second of all audio. */
#define ZELVAN_TTS_SAMPLE_RATE 48000

/* The library's version, "MAJOR.MINOR.PATCH"; a static string. */
ZELVAN_TTS_API const char* zelvan_tts_version(void);

typedef enum zelvan_tts_status {
    ZELVAN_TTS_OK = 0,
    /* The audio callback returned non-zero, or zelvan_tts_cancel stopped the
     * synthesis. */
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

/* ---- options that grow --------------------------------------------------------- */

/* How a struct grows. A struct that may grow starts with `size`, which the
 * caller sets to sizeof the struct as its own header declares it (the
 * zelvan_tts_default_... functions do). A later version of the library adds
 * members at the end only, and never moves, removes or retypes one; the
 * value 0 of every new member means what the library did before it
 * existed. So:
 * - a program built against an older header keeps working with a newer
 *   library, which reads only the members that `size` covers and takes the
 *   defaults for the rest;
 * - a program built against a newer header works with an older library as
 *   long as it leaves the members that library does not know at 0 (a
 *   non-zero one is refused with ZELVAN_TTS_INVALID_ARGUMENT, never
 *   ignored);
 * - a struct the library hands out (zelvan_tts_event) carries its own
 *   `size`: read a member only if it lies below that size.
 * Fill a struct from its zelvan_tts_default_... function, or set it to
 * zero first (`= {0}`, memset) when you fill it member by member: a member
 * of the header you build against that you leave unset is read too.
 * The 1.0 structs (zelvan_tts_engine_params, zelvan_tts_request,
 * zelvan_tts_callbacks, zelvan_tts_word, zelvan_tts_voice) keep their layout
 * for ever; what they lack comes in a struct of its own. */

/* Which punctuation is said by name. */
typedef enum zelvan_tts_punctuation {
    ZELVAN_TTS_PUNCTUATION_NONE = 0, /* none: the voice only pauses and intones */
    ZELVAN_TTS_PUNCTUATION_SOME = 1, /* symbols: @ # % + = and the like */
    ZELVAN_TTS_PUNCTUATION_MOST = 2, /* also brackets, quotes and dashes */
    ZELVAN_TTS_PUNCTUATION_ALL = 3   /* every mark, sentence marks too */
} zelvan_tts_punctuation;

/* How a capital letter is announced when a text is spelled. */
typedef enum zelvan_tts_capitals {
    ZELVAN_TTS_CAPITALS_NONE = 0,
    ZELVAN_TTS_CAPITALS_SPELL = 1, /* the word "большая" before it */
    ZELVAN_TTS_CAPITALS_ICON = 2   /* a short tone before it */
} zelvan_tts_capitals;

/* Which user dictionary (word=reading, one a line, in sections by
 * language) the engine reads. */
typedef enum zelvan_tts_dictionary_mode {
    /* The user's dictionary.txt beside the settings, read again when it
     * changes: what the server and the voice engine do. */
    ZELVAN_TTS_DICTIONARY_FOLLOW_SETTINGS = 0,
    /* The file `dictionary_file`, read once when the engine opens. */
    ZELVAN_TTS_DICTIONARY_FILE = 1,
    /* None: every word is read as the engine reads it. */
    ZELVAN_TTS_DICTIONARY_OFF = 2
} zelvan_tts_dictionary_mode;

/* The engine's options beyond the 1.0 parameters. Start from
 * zelvan_tts_default_options() and change what you need. */
typedef struct zelvan_tts_engine_options {
    size_t size;                     /* sizeof(zelvan_tts_engine_options) */
    zelvan_tts_engine_params params; /* as for zelvan_tts_engine_open */
    /* Since 1.1. Written forms read as a person reads them, before numbers
     * are spelled out ("10 000" as "десять тысяч", "12-й", "15%", "т.е.",
     * "5 кг"), for the languages that have such a reading (Russian). OFF:
     * every digit run is read on its own as a cardinal, as in 1.0. */
    zelvan_tts_stage_mode reading;
    /* Since 1.1. The reading modes of every text the engine speaks (names
     * are Russian). `spelling` non-zero spells every word letter by letter
     * (letters by their names, digits as numbers); `capitals` applies to
     * spelled letters, those of SSML <say-as interpret-as="characters">
     * too. */
    zelvan_tts_punctuation punctuation;
    zelvan_tts_capitals capitals;
    int spelling;
    /* Since 1.1. The user dictionary; `dictionary_file` (UTF-8) is read for
     * ZELVAN_TTS_DICTIONARY_FILE only. A file that is not there fails the
     * open with ZELVAN_TTS_INVALID_ARGUMENT; lines it cannot read are
     * skipped. */
    zelvan_tts_dictionary_mode dictionary;
    const char* dictionary_file;
} zelvan_tts_engine_options;

/* The defaults: zelvan_tts_default_params(), reading and the dictionary
 * following the settings, no punctuation said, no spelling. */
static inline zelvan_tts_engine_options zelvan_tts_default_options(void) {
    zelvan_tts_engine_options options;
    options.size = sizeof(options);
    options.params = zelvan_tts_default_params();
    options.reading = ZELVAN_TTS_STAGE_FOLLOW_SETTINGS;
    options.punctuation = ZELVAN_TTS_PUNCTUATION_NONE;
    options.capitals = ZELVAN_TTS_CAPITALS_NONE;
    options.spelling = 0;
    options.dictionary = ZELVAN_TTS_DICTIONARY_FOLLOW_SETTINGS;
    options.dictionary_file = NULL;
    return options;
}

/* zelvan_tts_engine_open with options; `options` NULL means the defaults. */
ZELVAN_TTS_API zelvan_tts_status zelvan_tts_engine_open_with_options(
    const zelvan_tts_engine_options* options, zelvan_tts_engine** engine);

/* Frees the engine and everything it holds; NULL does nothing. */
ZELVAN_TTS_API void zelvan_tts_engine_close(zelvan_tts_engine* engine);

/* What the engine loaded, one line each ending in a line feed:
 * "voice model: <path>", "stress ru: <path>" (also by, ua) and
 * "homographs: <folder>", or instead of the path "off" for a stage
 * switched off, or the one-line reason (with the file's path) why its
 * model did not load; then "dictionary: <path>" (or "off", or "none" when
 * the settings' dictionary.txt does not exist), "reading modes:
 * punctuation <none|some|most|all>, capitals <none|spell|icon>, spelling
 * <on|off>" and "engine core: <path>", the private library that carries
 * the engine and LibTorch. Loads the stages that are on and not loaded yet.
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

/* ---- 1.1: cancel, events, SSML ------------------------------------------------ */

/* Stops the synthesis that runs on `engine` now: it returns
 * ZELVAN_TTS_CANCELLED before its next chunk reaches the voice model and
 * before any more audio or events reach the caller. Safe from any thread,
 * the synthesis's own callbacks included; it does not wait. With no
 * synthesis running it does nothing and never stops a later one. NULL does
 * nothing. */
ZELVAN_TTS_API void zelvan_tts_cancel(zelvan_tts_engine* engine);

typedef enum zelvan_tts_event_type {
    ZELVAN_TTS_EVENT_SENTENCE_START = 1,
    ZELVAN_TTS_EVENT_SENTENCE_END = 2,
    ZELVAN_TTS_EVENT_WORD = 3,
    ZELVAN_TTS_EVENT_MARK = 4,        /* an SSML <mark/> */
    ZELVAN_TTS_EVENT_END_OF_MESSAGE = 5 /* the last event of a synthesis that finished */
} zelvan_tts_event_type;

typedef struct zelvan_tts_event {
    size_t size; /* sizeof the struct as the library declares it */
    zelvan_tts_event_type type;
    /* Samples of the synthesis's audio before the event: where a sentence or
     * a word starts, where a mark stands (the start of the word after it
     * when one follows before a break or a change of prosody, else where
     * the audio before it ends), where a sentence or the message ends. A
     * break's silence and the audio of every run of SSML are counted. */
    uint64_t sample;
    /* WORD: the sample where the word ends; else equal to `sample`. */
    uint64_t end_sample;
    /* The bytes of the caller's text (for SSML, of the document as given):
     * a word as for zelvan_tts_word, a sentence from its first word's start
     * to its last word's end, a mark's element; 0 and 0 for the end of the
     * message and a sentence without words. */
    size_t text_offset;
    size_t text_length;
    /* WORD: the word as spoken (a number spelled out, a Latin word in
     * Cyrillic) with the punctuation the voice hears after it, as
     * `zelvan_tts say --timings` writes it, without stress marks; MARK: the mark's name; else "".
     * NUL-terminated UTF-8, valid only during the call. */
    const char* text;
} zelvan_tts_event;

/* Receives each event in order of its sample, on the synthesising thread:
 * a sentence's start and its words (with the marks among them) come before
 * its audio, its end after it. */
typedef void (*zelvan_tts_event_fn)(void* user_data, const zelvan_tts_event* event);

typedef enum zelvan_tts_input_format {
    ZELVAN_TTS_INPUT_TEXT = 0, /* plain text, as zelvan_tts_synthesize reads it */
    /* SSML: speak, p and s (words never run across them); break (a pause of
     * its time or strength, at most a minute, where it stands: the samples
     * of everything after it shift by the pause); prosody rate, pitch and
     * volume (keywords, percentages, semitones, decibels), relative to the
     * request's and applied to their text; say-as characters (spelled
     * letter by letter, as the engine's spelling mode does); say-as
     * cardinal, ordinal, date (format "dmy", "ymd", "my" and the like),
     * time ("hms", "hm") and telephone (in digit groups), said in words for
     * a Russian voice and as numbers for the number step of the others'
     * languages, and read as its text when the content is not so written;
     * sub (its alias said); mark; voice (name: a key, a display name, a
     * given name or a row; gender: "female" or "male") and xml:lang on any
     * element (a voice of that language, the request voice's twin of the
     * same name when there is one), each run spoken by its voice; a voice
     * or a language that no voice has keeps the voice there was. Every
     * other element is read as its text. The words of a say-as and a sub
     * point at the whole element. Marks never split the synthesis:
     * a mark before every word changes nothing of the speech. A DOCTYPE,
     * entity declarations and external entities are refused
     * (ZELVAN_TTS_INVALID_ARGUMENT), never read aloud or fetched. A text
     * that is not well-formed XML is read as its text without the markup. */
    ZELVAN_TTS_INPUT_SSML = 1
} zelvan_tts_input_format;

typedef struct zelvan_tts_synthesis_options {
    size_t size;                  /* sizeof(zelvan_tts_synthesis_options) */
    zelvan_tts_event_fn event;    /* may be NULL */
    void* event_user_data;
    zelvan_tts_input_format input;
} zelvan_tts_synthesis_options;

/* No events, plain text. */
static inline zelvan_tts_synthesis_options zelvan_tts_default_synthesis_options(void) {
    zelvan_tts_synthesis_options options;
    options.size = sizeof(options);
    options.event = NULL;
    options.event_user_data = NULL;
    options.input = ZELVAN_TTS_INPUT_TEXT;
    return options;
}

/* zelvan_tts_synthesize with options; `options` NULL means the defaults.
 * The word callback of `callbacks`, if any, still receives the words. */
ZELVAN_TTS_API zelvan_tts_status zelvan_tts_synthesize_with_options(
    zelvan_tts_engine* engine, const char* text, size_t length,
    const zelvan_tts_request* request, const zelvan_tts_callbacks* callbacks,
    const zelvan_tts_synthesis_options* options);

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
