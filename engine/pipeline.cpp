#include "engine/pipeline.h"

#include "engine/audio_processing.h"
#include "engine/model_constants.h"
#include "engine/text_chunks.h"
#include "engine/text_stages.h"
#include "engine/word_spans.h"

#include <algorithm>


namespace zelvan_tts {

namespace {

bool stopped(const StopCheck& should_stop) { return should_stop && should_stop(); }

// Clips the block once more and hands it to the caller, unless asked to stop.
bool deliver(std::vector<float>& block, const AudioSink& on_audio, const StopCheck& should_stop) {
    clamp_unit(block);
    return !stopped(should_stop) && on_audio(block);
}

}  // namespace

bool synthesize_with_word_timestamps(VoiceModel& model, const SynthesisRequest& request,
                                     AudioSink on_audio, UnmappedCharsSink on_unmapped,
                                     std::vector<WordTimestamp>* word_timestamps,
                                     std::vector<WordSpan>* word_spans) {
    if (request.speaker_index < 0 || request.speaker_index >= kSpeakerCount) return false;
    SynthesisOptions options;
    options.settings = settings_for_synthesis();
    const std::shared_ptr<const UserDictionary> dictionary = SettingsStore::instance().dictionary();
    options.dictionary = dictionary.get();
    return synthesize(model, request, options, std::move(on_audio), std::move(on_unmapped),
                      word_timestamps, word_spans);
}

bool synthesize(VoiceModel& model, const SynthesisRequest& request,
                const SynthesisOptions& options, AudioSink on_audio,
                UnmappedCharsSink on_unmapped, std::vector<WordTimestamp>* word_timestamps,
                std::vector<WordSpan>* word_spans, const SynthesisHooks& hooks) {
    const StopCheck& should_stop = hooks.should_stop;
    if (request.speaker_index < 0 || request.speaker_index >= kSpeakerCount) return false;
    const SpeakerInfo& speaker = speakers[static_cast<std::size_t>(request.speaker_index)];

    // The tempo the audio really gets, which the word times must follow.
    const float speed = stretch_factor(request.speed);
    std::unique_ptr<SonicStretcher> stretcher;
    const SymbolMap& map = SymbolMap::instance();
    // Model samples made so far: each chunk's word times start where its
    // audio starts, silences at chunk ends included.
    std::uint64_t model_samples = 0;

    // Block by block, so that the first audio waits for the first block's
    // text steps only.
    const std::string& input = request.text;
    std::size_t begin = 0;
    do {
        if (stopped(should_stop)) return false;
        const std::size_t end = text_block_end(input, begin);
        const ProcessedText processed = process_block(input, begin, end, speaker.lang, options);
        const std::string& text = processed.script;
        const std::size_t block_begin = begin;
        begin = end;
        const std::string_view block_input(input.data() + block_begin, end - block_begin);
        std::vector<ChunkWords> chunks;
        if (word_spans != nullptr) {
            chunks = chunk_words(block_input, processed.reading, processed.reading_edits, text,
                                 speaker.lang, kMaxChunkChars, options.dictionary);
        } else {
            for (const TextSpan& span : split_into_chunk_spans(text, kMaxChunkChars))
                chunks.push_back({span, {}});
        }
        for (const ChunkWords& chunk_and_words : chunks) {
            const std::string chunk =
                text.substr(chunk_and_words.chunk.offset, chunk_and_words.chunk.length);
            if (!has_speech(chunk)) continue;
            if (!stretcher && (request.speed != 1.0f || request.pitch != 1.0f)) {
                stretcher = SonicStretcher::create(kSampleRate, request.speed, request.pitch);
            }
            const std::vector<std::int64_t> ids = encode_text(chunk, map, on_unmapped);
            if (stopped(should_stop)) return false;
            VoiceOutput output = model.speak(ids, speaker.model_speaker_id);
            const std::size_t words_before = word_timestamps ? word_timestamps->size() : 0;
            if (output.timed && word_timestamps != nullptr) {
                const float offset =
                    static_cast<float>(static_cast<double>(model_samples) / kSampleRate);
                const std::size_t before = word_timestamps->size();
                extract_word_timestamps(chunk, output.times.data(), output.times.size(), offset,
                                        speed, *word_timestamps);
                if (word_spans != nullptr) {
                    const auto& words = chunk_and_words.words;
                    const std::size_t added =
                        std::min(word_timestamps->size() - before, words.size());
                    for (std::size_t k = 0; k < added; ++k)
                        word_spans->push_back({words[k].offset + block_begin, words[k].length});
                }
            }
            if (hooks.on_chunk) {
                if (stopped(should_stop)) return false;
                SpokenChunk spoken;
                spoken.start = static_cast<double>(model_samples) / kSampleRate / speed;
                spoken.end = static_cast<double>(model_samples + output.audio.size()) /
                             kSampleRate / speed;
                spoken.first_word = word_timestamps ? words_before : 0;
                if (output.timed && word_timestamps != nullptr) {
                    spoken.words = spoken_words(chunk);
                    spoken.words.resize(word_timestamps->size() - words_before);
                }
                hooks.on_chunk(spoken);
            }
            model_samples += output.audio.size();
            std::vector<float>& samples = output.audio;
            apply_volume(samples, request.volume);
            clamp_unit(samples);

            if (!stretcher) {
                // Just clamped: the block is delivered as it is.
                if (stopped(should_stop) || !on_audio(samples)) return false;
                continue;
            }
            if (!samples.empty()) stretcher->write(samples);
            std::vector<float> block = stretcher->read_available();
            if (!block.empty() && !deliver(block, on_audio, should_stop)) return false;
        }
    } while (begin < input.size());

    if (stretcher) {
        stretcher->flush();
        std::vector<float> rest = stretcher->read_available();
        if (!rest.empty() && !deliver(rest, on_audio, should_stop)) return false;
    }
    return true;
}

}  // namespace zelvan_tts
