// The recordings the voice is built from: festvox-ru's 620 sentences read by
// one man (16 kHz, 16-bit mono), their texts and their phone labels.
// Every sentence whose number is a multiple of ten is held out: it never
// enters the voice nor any figure the voice is built from, so that the voice
// can be measured against it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelvan_tts::voice {

// Where Debian's festvox-ru package puts the recordings.
inline constexpr const char* kDefaultCorpusDir =
    "/usr/share/festival/voices/russian/msu_ru_nsh_clunits";
inline constexpr int kCorpusRate = 16000;

struct Utterance {
    std::string name;  // "ru_0001"
    int number;        // 1
    std::string text;  // as the prompt file writes it, with a few stress marks
};

// One labelled phone: its id in `phones` and its end in seconds; it starts
// where the previous one ends (the first at 0).
struct PhoneLabel {
    int phone;
    double end;
};

inline bool is_held_out(int utterance_number) { return utterance_number % 10 == 0; }

// Every sentence of etc/txt.done.data, in file order. Throws
// std::runtime_error when the file cannot be read or holds no sentence.
std::vector<Utterance> read_prompts(const std::string& corpus_dir);

// lab/<name>.lab. Throws std::runtime_error when the file cannot be read or
// names a phone outside the phone set.
std::vector<PhoneLabel> read_labels(const std::string& corpus_dir, const std::string& name);

// wav/<name>.wav as the 16-bit samples it holds. Throws std::runtime_error
// when the file is missing or not 16 kHz 16-bit mono PCM.
std::vector<std::int16_t> read_recording(const std::string& corpus_dir, const std::string& name);

// Any 16-bit PCM WAV file (mono, or the first channel), as samples in
// [-1, 1) and its rate. Throws std::runtime_error when it is not one.
struct Audio {
    int rate = 0;
    std::vector<float> samples;
};
Audio read_wav(const std::string& path);

}  // namespace zelvan_tts::voice
