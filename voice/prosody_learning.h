// The recorded voice's prosody models, learnt at build time from the
// speaker's training sentences: where he breaks a phrase between words,
// how long he pauses there, the pitch of every vowel and the length of
// every phone, each a regression tree over the rows of features the voice
// module itself computes (its phone_features method), so that what is
// learnt and what is spoken read the text alike. LibTorch types are only
// declared here.
#pragma once

#include "voice/regression_tree.h"

#include <string>

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts::voice {

struct VoiceInventory;

struct LearntProsody {
    RegressionTree breaks;    // 1 where he pauses after a word, else 0
    RegressionTree pauses;    // seconds of such a pause
    RegressionTree pitch;     // log pitch of a vowel against his base
    RegressionTree lengths;   // log length of a phone against its spelling's factor
    float pitch_scale = 1.0f; // restores the spread a tree's averages lose
    float pitch_base = 0.0f;  // log Hz the pitch tree's values are against: his mean
    float length_scale = 1.0f; // on the length tree's values: his mean length
    float longest_phrase = 0; // syllables: his phrases are seldom longer
    float shortest_phrase = 0;
    float sentence_pause = 0; // seconds: longer than three quarters of his breaks
    std::string summary;      // what was learnt from how much, one line
};

// Transcribes every training sentence of `inventory` with the module's
// own reading rules (its commas, which mark the speaker's pauses, left
// out), aligns the phones with the sentence's labels and grows the trees.
// Throws std::runtime_error when too few sentences align.
LearntProsody learn_prosody(torch::jit::Module& voice, const VoiceInventory& inventory);

}  // namespace zelvan_tts::voice
