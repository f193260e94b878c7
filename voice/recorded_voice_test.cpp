// The recorded voice as the build wrote it (build/models/tts), loaded,
// frozen and optimised as an installation's voice is: the call contract,
// that no held-out recording went into it, stress, word times against the
// audio, phrasing and melody, and the 60 speakers.
#include "core/encrypted_module.h"
#include "engine/model_constants.h"
#include "engine/pipeline.h"
#include "engine/voice_model.h"
#include "shared/symbols/code_points.h"
#include "shared/symbols/speakers.h"
#include "shared/symbols/symbols.h"
#include "voice/corpus.h"
#include "voice/letter_sounds.h"
#include "voice/pitch_marks.h"
#include "voice/speaker_voices.h"
#include "voice/spectral_measures.h"

#include <gtest/gtest.h>
#include <torch/script.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace zelvan_tts::voice {
namespace {

struct Speech {
    std::vector<float> audio;
    std::vector<float> starts;

    double rms(double from_s, double to_s) const {
        const auto a =
            std::min(audio.size(), static_cast<std::size_t>(std::max(0.0, from_s) * kSampleRate));
        const auto b =
            std::min(audio.size(), static_cast<std::size_t>(std::max(0.0, to_s) * kSampleRate));
        double sum = 0;
        for (std::size_t i = a; i < b; ++i) sum += static_cast<double>(audio[i]) * audio[i];
        return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
    }
    // The pitch (Hz) every 5 ms, at 16 kHz, 0 where unvoiced.
    std::vector<float> pitch() const {
        return track_pitch(resample(audio, kSampleRate, kCorpusRate), 60.0f, 500.0f);
    }
    // Median pitch over the span of the symbol at id position `j`.
    double pitch_at(const std::vector<float>& track, std::size_t j) const {
        const auto [from, to] = span(j);
        std::vector<float> v;
        for (auto f = static_cast<std::size_t>(from / 0.005); f <= to / 0.005 && f < track.size();
             ++f)
            if (track[f] > 0) v.push_back(track[f]);
        if (v.empty()) return 0;
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    }
    // Start and end in seconds of the symbol at id position `j`.
    std::pair<double, double> span(std::size_t j) const {
        return {starts[j],
                j + 1 < starts.size() ? starts[j + 1] : audio.size() / double(kSampleRate)};
    }
};

class RecordedVoice : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        configure_torch_runtime();
        voice_ = new torch::jit::Module(load_voice_model(RECORDED_VOICE_FILE));
    }
    static void TearDownTestSuite() { delete voice_; }

    static Speech say(const std::vector<std::int64_t>& ids, std::int64_t speaker) {
        torch::InferenceMode guard;
        const auto n = static_cast<std::int64_t>(ids.size());
        const auto out =
            voice_->forward({torch::tensor(ids).reshape({1, n}), torch::tensor({speaker})})
                .toTuple();
        const torch::Tensor audio = out->elements().at(0).toTensor();
        const torch::Tensor starts = out->elements().at(1).toTensor().contiguous();
        EXPECT_EQ(audio.scalar_type(), torch::kFloat);
        EXPECT_EQ(audio.dim(), 2);
        EXPECT_EQ(starts.numel(), n);
        Speech s;
        s.audio.assign(audio.data_ptr<float>(), audio.data_ptr<float>() + audio.numel());
        s.starts.assign(starts.data_ptr<float>(), starts.data_ptr<float>() + starts.numel());
        return s;
    }
    static Speech say(const std::string& text, std::int64_t speaker = 20) {
        return say(encode_text(text, SymbolMap::instance()), speaker);
    }

    static torch::jit::Module* voice_;
};
torch::jit::Module* RecordedVoice::voice_ = nullptr;

// The id position of the `letter`-th code point of the first `word` in
// `text` (after the start id).
std::size_t id_at(const std::string& text, const std::string& word, std::size_t letter) {
    const std::size_t byte = text.find(word);
    EXPECT_NE(byte, std::string::npos) << word;
    return 1 + utf8_to_utf32(text.substr(0, byte)).size() + letter;
}

TEST_F(RecordedVoice, MeetsTheCallContractAndSoundsEveryLetter) {
    std::vector<std::int64_t> all{2};
    for (std::int64_t id = 0; id < 85; ++id) all.push_back(id);
    all.push_back(1);
    const Speech s = say(all, 31);
    ASSERT_FALSE(s.audio.empty());
    EXPECT_TRUE(std::is_sorted(s.starts.begin(), s.starts.end()));
    EXPECT_LE(s.starts.back(), s.audio.size() / double(kSampleRate));
    for (float v : s.audio) ASSERT_LE(std::abs(v), 1.0f);
    EXPECT_EQ(say(all, 31).audio, s.audio);  // the same ids, the same audio
    EXPECT_NE(say(all, 32).audio, s.audio);

    // Every letter between two а's is heard: its own stretch of time, and
    // sound in it.
    const Speech reference = say("а");
    for (std::int64_t id = 0; id < 85; ++id) {
        const LetterKind kind = letter_sounds()[static_cast<std::size_t>(id)].kind;
        if (kind != LetterKind::Vowel && kind != LetterKind::Consonant && kind != LetterKind::Glide)
            continue;
        const Speech w = say(std::vector<std::int64_t>{2, 13, id, 13, 1}, 20);
        const auto [from, to] = w.span(2);
        EXPECT_GT(to - from, 0.02) << symbol_text(static_cast<int>(id));
        EXPECT_GT(w.rms(from, to), 0.02 * reference.rms(0, 1)) << symbol_text(static_cast<int>(id));
    }
}

TEST_F(RecordedVoice, HoldsNoPieceOfAHeldOutRecording) {
    // Every unit names the recording and the sample it was cut from, and its
    // samples are that recording's, levelled.
    torch::jit::Module raw;
    ASSERT_TRUE(load_encrypted_module(RECORDED_VOICE_FILE, raw));
    const torch::Tensor source = raw.attr("unit_source").toTensor();
    const torch::Tensor span = raw.attr("unit_span").toTensor();
    const torch::Tensor gain = raw.attr("unit_gain").toTensor();
    const torch::Tensor samples = raw.attr("samples").toTensor();
    ASSERT_GT(source.size(0), 1000);
    std::map<int, std::vector<std::int16_t>> recordings;
    for (std::int64_t u = 0; u < source.size(0); ++u) {
        const int number = static_cast<int>(source[u][0].item<std::int64_t>());
        ASSERT_FALSE(is_held_out(number)) << "unit " << u << " comes from held-out ru_" << number;
        char name[16];
        std::snprintf(name, sizeof name, "ru_%04d", number);
        auto& rec = recordings[number];
        if (rec.empty()) rec = read_recording(FESTVOX_RU_DIR, name);
        const std::int64_t from = source[u][1].item<std::int64_t>();
        const std::int64_t stored = span[u][0].item<std::int64_t>(),
                           length = span[u][1].item<std::int64_t>();
        const float g = gain[u].item<float>();
        ASSERT_LE(from + length, static_cast<std::int64_t>(rec.size()));
        for (std::int64_t k = 0; k < length; k += 7) {
            const float expected = std::clamp(std::round(rec[from + k] * g), -32768.0f, 32767.0f);
            ASSERT_EQ(samples[stored + k].item<std::int16_t>(), expected) << "unit " << u;
        }
    }
    EXPECT_GT(recordings.size(), 400u);
}

TEST_F(RecordedVoice, StressLengthensAndLoudensItsVowel) {
    // The same vowel letter stressed and unstressed: longer and louder when stressed.
    const struct {
        const char* stressed;
        std::size_t at;  // id position of the vowel
        const char* unstressed;
        std::size_t unstressed_at;
    } cases[] = {
        {"з+амок", 3, "зам+ок", 2}, {"зам+ок", 5, "з+амок", 5}, {"м+ука", 3, "мук+а", 2},
        {"пил+а", 5, "п+ила", 5},   {"д+ома", 3, "дом+а", 2},   {"в+ыходи", 3, "выход+и", 2},
    };
    for (const auto& c : cases) {
        const Speech a = say(c.stressed), b = say(c.unstressed);
        const auto [a0, a1] = a.span(c.at);
        const auto [b0, b1] = b.span(c.unstressed_at);
        EXPECT_GT(a1 - a0, 1.2 * (b1 - b0)) << c.stressed;
        EXPECT_GT(a.rms(a0, a1), b.rms(b0, b1)) << c.stressed;
    }
}

TEST_F(RecordedVoice, WordTimesMatchTheAudio) {
    // Through the engine's word timer: each word's sound begins and ends
    // within 20 ms of its times, and the pauses between words are quiet.
    for (int speaker : {20, 21, 38}) {
        std::vector<float> audio;
        std::vector<WordTimestamp> words;
        synthesize_with_word_timestamps(
            *voice_,
            SynthesisRequest{"М+ама, м+ыла, р+аму. К+от, п+ёс, т+игр. Сов+а, ш+ар, д+ом.", speaker},
            [&](const std::vector<float>& block) {
                audio.insert(audio.end(), block.begin(), block.end());
                return true;
            },
            {}, &words);
        ASSERT_EQ(words.size(), 9u);
        // 5 ms frames heard when within 35 dB of the loudest.
        std::vector<double> level;
        for (std::size_t i = 0; i + 240 <= audio.size(); i += 240) {
            double sum = 0;
            for (std::size_t k = i; k < i + 240; ++k)
                sum += static_cast<double>(audio[k]) * audio[k];
            level.push_back(std::sqrt(sum / 240));
        }
        const double loudest = *std::max_element(level.begin(), level.end());
        const auto heard = [&](double t) {
            const auto f = static_cast<std::size_t>(std::max(0.0, t) / 0.005);
            return f < level.size() && level[f] > loudest * 0.0178;
        };
        for (std::size_t w = 0; w < words.size(); ++w) {
            double first = -1, last = -1;
            for (double t = words[w].start - 0.02; t < words[w].end + 0.02; t += 0.005)
                if (heard(t)) {
                    if (first < 0) first = t;
                    last = t;
                }
            EXPECT_NEAR(first, words[w].start, 0.02) << "word " << w << ", speaker " << speaker;
            EXPECT_NEAR(last + 0.005, words[w].end, 0.02)
                << "word " << w << ", speaker " << speaker;
            if (w + 1 < words.size()) {
                for (double t = words[w].end + 0.02; t < words[w + 1].start - 0.02; t += 0.005)
                    EXPECT_FALSE(heard(t))
                        << "between words " << w << " and " << w + 1 << " at " << t;
            }
        }
    }
}

TEST_F(RecordedVoice, LongSentenceWithoutPunctuationIsPhrased) {
    // 39 words without a comma: breaks where a reader takes them, no
    // stretch of speech longer than a reader's breath.
    const Speech s = say(
        "Мой старый друг который долгие годы жил в маленьком городе на берегу широкой реки "
        "недавно решил переехать в столицу потому что там ему предложили интересную работу в "
        "большой компании и он согласился почти не раздумывая о трудностях новой жизни.");
    const double loudest = s.rms(0, s.audio.size() / double(kSampleRate));
    std::vector<bool> quiet;
    for (double t = 0; t + 0.01 < s.audio.size() / double(kSampleRate); t += 0.01)
        quiet.push_back(s.rms(t, t + 0.01) < 0.03 * loudest);
    std::size_t first = 0, last = quiet.size();
    while (first < last && quiet[first]) ++first;
    while (last > first && quiet[last - 1]) --last;
    int pauses = 0, run = 0;
    double longest_speech = 0, speech = 0;
    for (std::size_t f = first; f < last; ++f) {
        if (quiet[f]) {
            if (++run == 8) {  // 80 ms
                ++pauses;
                speech = 0;
            }
        } else {
            run = 0;
            speech += 0.01;
            longest_speech = std::max(longest_speech, speech);
        }
    }
    EXPECT_GE(pauses, 2);
    EXPECT_LT(longest_speech, 5.0);
}

TEST_F(RecordedVoice, MelodyOfQuestionsAndLists) {
    // Pitch at the vowel where the melody peaks against a later (or
    // earlier) one: a yes/no question rises on its focus word (before ли,
    // else the last stressed one) and falls after it; a question with a
    // question word falls from it; list items before the last rise.
    const struct {
        const char* text;
        const char* peak_word;
        std::size_t peak_letter;
        const char* low_word;
        std::size_t low_letter;
    } cases[] = {
        {"Ты в+идел Ив+ана в+ечером?", "в+ечером", 2, "в+ечером", 6},
        {"Ты в+идел Ив+ана в+ечером?", "в+ечером", 2, "в+идел", 2},
        {"Зн+аешь ли ты м+оего бр+ата?", "Зн+аешь", 3, "бр+ата", 3},
        {"Где ты был вчер+а в+ечером?", "Где", 2, "в+ечером", 2},
        {"Я куп+ил +яблоки, гр+уши, сл+ивы и в+ишни.", "гр+уши", 3, "в+ишни", 2},
        {"Я куп+ил +яблоки, гр+уши, сл+ивы и в+ишни.", "+яблоки", 1, "в+ишни", 2},
    };
    for (const auto& c : cases) {
        const Speech s = say(c.text);
        const std::vector<float> track = s.pitch();
        const double peak = s.pitch_at(track, id_at(c.text, c.peak_word, c.peak_letter));
        const double low = s.pitch_at(track, id_at(c.text, c.low_word, c.low_letter));
        EXPECT_GT(low, 0) << c.text << " " << c.low_word;
        EXPECT_GT(peak, 1.12 * low) << c.text << ": " << c.peak_word << " against " << c.low_word;
    }
}

TEST_F(RecordedVoice, UnitSearchTakesARecordedStretchThatNeedsNoChange) {
    // Three units recorded one after the other; asked for their phones with
    // exactly their recorded lengths and pitch, the search takes the middle
    // one among all the instances of its pair.
    torch::jit::Module raw;
    ASSERT_TRUE(load_encrypted_module(RECORDED_VOICE_FILE, raw));
    const torch::Tensor span = raw.attr("unit_span").toTensor();
    const torch::Tensor phones = raw.attr("unit_phones").toTensor();
    const torch::Tensor next = raw.attr("unit_next").toTensor();
    const torch::Tensor f0 = raw.attr("unit_f0").toTensor();
    const torch::Tensor candidates = raw.attr("candidates").toTensor();
    std::vector<std::int64_t> before(static_cast<std::size_t>(next.size(0)), -1);
    for (std::int64_t u = 0; u < next.size(0); ++u)
        if (next[u].item<std::int64_t>() >= 0) before[static_cast<std::size_t>(next[u].item<std::int64_t>())] = u;
    int tried = 0;
    for (std::int64_t u = 0; u < next.size(0) && tried < 6; u += 97) {
        const std::int64_t p = before[static_cast<std::size_t>(u)], n = next[u].item<std::int64_t>();
        if (p < 0 || n < 0) continue;
        const std::int64_t chain[3] = {p, u, n};
        bool usable = true;
        for (std::int64_t c : chain)
            usable = usable && phones[c][0].item<std::int64_t>() != 0 && phones[c][1].item<std::int64_t>() != 0 &&
                     f0[c][1].item<float>() > 0 && f0[c][2].item<float>() > 0;
        const std::int64_t row = phones[u][0].item<std::int64_t>() * 51 + phones[u][1].item<std::int64_t>();
        if (!usable || (candidates[row] >= 0).sum().item<std::int64_t>() < 4) continue;
        ++tried;
        // Phones p.left, u.left, u.right, n.right; each lasts twice its
        // recorded half, the melody passes through the recorded pitch at
        // their middles.
        std::vector<double> dur, mids, pitch;
        const auto half = [&](std::int64_t c, int side) {
            return static_cast<double>(span[c][3 + side].item<std::int64_t>() - span[c][2 + side].item<std::int64_t>());
        };
        dur = {2 * half(p, 0), 2 * half(u, 0), 2 * half(u, 1), 2 * half(n, 1)};
        std::vector<double> start{0};
        for (double d : dur) start.push_back(start.back() + d);
        for (int k = 0; k < 4; ++k) mids.push_back(start[k] + 0.5 * dur[k]);
        pitch = {f0[p][1].item<float>(), f0[u][1].item<float>(), f0[u][2].item<float>(), f0[n][2].item<float>()};
        const torch::Tensor ph = torch::tensor({phones[p][0].item<std::int64_t>(), phones[u][0].item<std::int64_t>(),
                                                phones[u][1].item<std::int64_t>(), phones[n][1].item<std::int64_t>()});
        const torch::Tensor chosen =
            raw.run_method("select", ph, torch::tensor(start, torch::kDouble), torch::tensor(dur, torch::kDouble),
                           torch::tensor(mids, torch::kDouble), torch::tensor(pitch, torch::kDouble), 0.0)
                .toTensor();
        ASSERT_EQ(chosen.numel(), 3);
        EXPECT_EQ(chosen[1].item<std::int64_t>(), u) << "unit " << u;
    }
    EXPECT_EQ(tried, 6);
}

TEST_F(RecordedVoice, SpeakersAreDistinctAndWomenSpeakHigher) {
    // One person per given name (its twin rows speak alike), every person
    // sounds different, every woman higher than every man, and no two
    // people of one language within 3% of each other in both pitch and
    // brightness.
    std::map<std::string, std::vector<float>> person;
    std::map<int, std::pair<double, double>> measured;  // row: median Hz, centroid Hz
    double highest_man = 0, lowest_woman = 1e9;
    for (int id = 0; id < 60; ++id) {
        const Speech s = say("М+ама м+ыла р+аму.", id);
        const std::string name = given_name(id);
        // Pitch and brightness over a longer sentence, row by row (a
        // person's twin rows read it by their own languages' rules).
        {
            const Speech longer = say("М+ама м+ыла р+аму, а п+апа чит+ал газ+ету у окн+а.", id);
            const std::vector<float> x16 = resample(longer.audio, kSampleRate, kCorpusRate);
            std::vector<float> f0 = track_pitch(x16, 60.0f, 500.0f);
            const double centroid = voiced_centroid(x16, f0, kPitchHop);
            f0.erase(std::remove(f0.begin(), f0.end(), 0.0f), f0.end());
            ASSERT_FALSE(f0.empty()) << id;
            std::nth_element(f0.begin(), f0.begin() + static_cast<long>(f0.size() / 2), f0.end());
            measured[id] = {f0[f0.size() / 2], centroid};
        }
        if (person.count(name)) {
            EXPECT_EQ(person[name], s.audio) << name;
            continue;
        }
        for (const auto& [other, audio] : person)
            EXPECT_NE(audio, s.audio) << name << " and " << other;
        person[name] = s.audio;
        std::vector<float> f0 =
            track_pitch(resample(s.audio, kSampleRate, kCorpusRate), 60.0f, 500.0f);
        f0.erase(std::remove(f0.begin(), f0.end(), 0.0f), f0.end());
        ASSERT_FALSE(f0.empty()) << name;
        std::nth_element(f0.begin(), f0.begin() + static_cast<long>(f0.size() / 2), f0.end());
        const double median = f0[f0.size() / 2];
        if (speaker_voice(id).female)
            lowest_woman = std::min(lowest_woman, median);
        else
            highest_man = std::max(highest_man, median);
    }
    EXPECT_GT(lowest_woman, 1.1 * highest_man);
    for (int a = 0; a < 60; ++a)
        for (int b = a + 1; b < 60; ++b) {
            const std::string na = given_name(a), nb = given_name(b);
            if (na == nb || std::string(speakers[a].lang) != speakers[b].lang) continue;
            const auto [fa, ca] = measured[a];
            const auto [fb, cb] = measured[b];
            EXPECT_TRUE(std::abs(fa - fb) > 0.03 * std::min(fa, fb) ||
                        std::abs(ca - cb) > 0.03 * std::min(ca, cb))
                << na << " and " << nb << ": " << fa << " / " << fb << " Hz, centroids " << ca
                << " / " << cb << " Hz";
        }
}

}  // namespace
}  // namespace zelvan_tts::voice
