// The recorded voice's inventory: diphones cut from the training recordings
// (every recording but the held-out ones) from the middle of one labelled
// phone to the middle of the next: every instance of a phone pair, up to a
// bound (the most typical ones, in as many surroundings as possible), with
// their pitch marks and what a unit selector needs to choose among them and
// join them smoothly; for pairs the recordings lack, the pair that sounds
// most alike. Instances that overlap in their recording share its samples,
// so the bound costs less than it seems (24 per pair: some 2,600 s of
// audio, 94 MB). Beside them the speaker's figures: the length of every
// phone inside and at the end of a phrase, his melody and his pauses, and
// every training sentence's labels with the pitch of its vowels, which the
// voice's prosody models learn from.
// Building it reads and analyses the recordings (under a minute on two
// cores); the result is written to a file that the voice module is
// assembled from. The edges of the recordings' pauses are first moved to
// where the speech level crosses 30 dB under its loud part.
#pragma once

#include "voice/corpus.h"
#include "voice/phone_set.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelvan_tts::voice {

inline constexpr int kJoinOrder = 12;  // cepstral coefficients c1..c12 compared at joins

struct RecordedUnit {
    int left_phone = 0;
    int right_phone = 0;
    int utterance = 0;     // number of the recording it was cut from
    int source_start = 0;  // its first stored sample, in that recording
    int stored_start = 0;  // its first sample in VoiceInventory::samples
    int length = 0;        // stored samples: the core with a margin on each side that
                           // its grains and a blend across its joints may reach
    // Offsets from stored_start: the middle of the left phone, the boundary
    // between the phones, the middle of the right phone.
    int core_start = 0;
    int boundary = 0;
    int core_end = 0;
    int left_context = 0;  // the phones around it in the recording
    int right_context = 0;
    bool before_pause = false;  // the right phone ends a phrase there
    float log_f0 = 0.0f;        // mean log pitch (Hz) over the core, 0 when unvoiced
    float f0_left = 0.0f;       // log pitch at the core's ends, 0 when unvoiced
    float f0_right = 0.0f;
    float energy_left = 0.0f;  // log RMS around the core's ends
    float energy_right = 0.0f;
    std::array<float, kJoinOrder> cep_left{};
    std::array<float, kJoinOrder> cep_right{};
    int mark_begin = 0;  // its pitch marks: [mark_begin, mark_end) of the mark arrays
    int mark_end = 0;
    int next = -1;      // the kept unit recorded right after this one, or -1
    float gain = 1.0f;  // stored sample = recorded sample x gain, rounded
};

inline constexpr int kMelodySteps = 5;

// The speaker's pitch and pauses.
struct ProsodyFigures {
    float log_f0_base = 0.0f;  // median log pitch (Hz) of his vowels
    // Log pitch of a vowel against the base: [phrase ends a sentence]
    // [vowel stressed][fifth of the phrase's time it stands in].
    float melody[2][2][kMelodySteps] = {};
    float comma_pause = 0.0f;  // seconds
    float sentence_pause = 0.0f;
};

// One training sentence as the analysis left it: its text, its labels with
// the pauses' edges moved onto the speech, and per label the median log
// pitch (Hz) of its middle third, 0 when unvoiced or not a vowel; and the
// s.d. of the log pitch of all its voiced frames.
struct LabelledSentence {
    int number = 0;
    std::string text;
    std::vector<PhoneLabel> labels;
    std::vector<float> log_f0;
    float pitch_spread = 0.0f;
};

struct VoiceInventory {
    std::vector<RecordedUnit> units;
    std::vector<std::int16_t> samples;  // the units back to back, 16 kHz
    std::vector<int> mark_position;     // pitch marks, as indices into `samples`
    std::vector<int> mark_period;
    std::vector<std::uint8_t> mark_voiced;
    int candidates_per_pair = 0;
    // kPhoneCount x kPhoneCount rows (left phone major) of
    // candidates_per_pair unit indices, -1 where a row has fewer.
    std::vector<int> candidates;
    std::vector<float> substitution_cost;  // per row: 0 when its own pair was recorded
    std::vector<float> durations;          // kPhoneCount x 2: inside a phrase, at its end
    ProsodyFigures prosody;
    std::vector<LabelledSentence> sentences;  // in recording order
};

struct InventoryOptions {
    int candidates_per_pair = 24;
    int threads = 2;
    std::function<void(const std::string&)> progress;  // may be empty
};

// Reads the training recordings of `corpus_dir` (never a held-out one) and
// builds the inventory. Throws std::runtime_error when the recordings
// cannot be read.
VoiceInventory build_inventory(const std::string& corpus_dir, const InventoryOptions& options);

// The inventory file. Reading throws std::runtime_error for a missing,
// truncated or foreign file.
void write_inventory(const VoiceInventory& inventory, const std::string& path);
VoiceInventory read_inventory(const std::string& path);

}  // namespace zelvan_tts::voice
