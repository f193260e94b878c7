// The one entry through which the server and the voice engine turn text into
// speech: text steps, sentence chunks, one model call per chunk, word times,
// volume, speed and pitch, delivered block by block.
#pragma once

#include "core/settings.h"
#include "engine/text_stages.h"
#include "engine/voice.h"
#include "engine/word_spans.h"
#include "engine/word_timestamps.h"
#include "shared/symbols/symbols.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelvan_tts {

struct SynthesisRequest {
    std::string text;            // UTF-8
    std::int32_t speaker_index;  // row of `speakers`, 0..59
    float speed = 1.0f;          // tempo factor
    float pitch = 1.0f;          // pitch factor
    float volume = 1.0f;         // linear gain
};

// Receives each block of mono 48 kHz samples in [-1, 1]; false stops the
// synthesis after this block.
using AudioSink = std::function<bool(const std::vector<float>& samples)>;

// What one synthesis runs with besides its request: its text steps' options.
using SynthesisOptions = TextStepsOptions;

// Asked before each chunk's model call and before each delivery: true stops
// the synthesis there, as a sink's false does. Called on the synthesising
// thread; it may read a flag that another thread sets.
using StopCheck = std::function<bool()>;

// One chunk as spoken, told after its model call and before its audio.
struct SpokenChunk {
    double start = 0.0;              // seconds of the delivered audio
    double end = 0.0;
    std::size_t first_word = 0;      // its first record in word_timestamps
    std::vector<std::string> words;  // each of its timed words as spoken
};
using ChunkSink = std::function<void(const SpokenChunk&)>;

// What a host may add to one synthesis; both may be empty.
struct SynthesisHooks {
    StopCheck should_stop;
    ChunkSink on_chunk;
};

// Synthesises the request with `model`. Appends one record per spoken word to
// `word_timestamps` when it is not null, and, when `word_spans` is not null
// too, the bytes of the request's text each of those words comes from.
// False when the speaker index is out of range (nothing happens then), the
// sink asked to stop or `hooks.should_stop` said so; exceptions of the model, the stages or the callbacks
// propagate, and what was delivered before stays delivered.
bool synthesize(VoiceModel& model, const SynthesisRequest& request,
                const SynthesisOptions& options, AudioSink on_audio,
                UnmappedCharsSink on_unmapped, std::vector<WordTimestamp>* word_timestamps,
                std::vector<WordSpan>* word_spans = nullptr, const SynthesisHooks& hooks = {});

// synthesize with the settings and the dictionary every host follows: the
// store's current ones, read once per call (stages switched off give back
// their memory).
bool synthesize_with_word_timestamps(VoiceModel& model, const SynthesisRequest& request,
                                     AudioSink on_audio, UnmappedCharsSink on_unmapped,
                                     std::vector<WordTimestamp>* word_timestamps,
                                     std::vector<WordSpan>* word_spans = nullptr);

}  // namespace zelvan_tts
