#include "http/speech_stream.h"

#include <memory>

namespace zelvan_tts {

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    zelvan_tts_engine* engine;
    AudioEncoder* encoder;
    const std::function<bool()>* still_there;
    StreamOutcome* outcome;
    Clock::time_point arrived;
    std::uint64_t samples = 0;
};

int on_audio(void* user, const float* samples, std::size_t count) {
    auto* run = static_cast<Run*>(user);
    if (run->samples == 0 && count > 0)
        run->outcome->first_byte_seconds =
            std::chrono::duration<double>(Clock::now() - run->arrived).count();
    run->samples += count;
    if (!run->encoder->write(samples, count)) {
        run->outcome->client_gone = true;
        return 1;
    }
    return 0;
}

void on_event(void* user, const zelvan_tts_event* event) {
    auto* run = static_cast<Run*>(user);
    // Checked before each sentence goes to the voice model: a client that
    // left costs at most the sentence that was being spoken.
    if (event->type == ZELVAN_TTS_EVENT_SENTENCE_START && *run->still_there &&
        !(*run->still_there)()) {
        run->outcome->client_gone = true;
        zelvan_tts_cancel(run->engine);
    }
}

}  // namespace

StreamOutcome stream_speech(zelvan_tts_engine* engine, const SpeechJob& job, ByteSink sink,
                            const std::function<bool()>& still_there, Clock::time_point arrived) {
    StreamOutcome outcome;
    const Clock::time_point start = Clock::now();
    AudioEncoder encoder(job.format, ZELVAN_TTS_SAMPLE_RATE, std::move(sink), job.sample_rate);
    Run run{engine, &encoder, &still_there, &outcome, arrived};
    zelvan_tts_request request = zelvan_tts_default_request();
    request.voice = job.voice;
    request.speed = job.speed;
    const zelvan_tts_callbacks callbacks{on_audio, nullptr, &run};
    zelvan_tts_synthesis_options options = zelvan_tts_default_synthesis_options();
    options.event = on_event;
    options.event_user_data = &run;
    options.input = job.ssml ? ZELVAN_TTS_INPUT_SSML : ZELVAN_TTS_INPUT_TEXT;
    outcome.status = zelvan_tts_synthesize_with_options(engine, job.text.data(), job.text.size(),
                                                        &request, &callbacks, &options);
    if (outcome.status != ZELVAN_TTS_OK && outcome.status != ZELVAN_TTS_CANCELLED)
        outcome.error = zelvan_tts_last_error();
    if (outcome.status == ZELVAN_TTS_OK && !encoder.finish()) outcome.client_gone = true;
    outcome.audio_seconds = double(run.samples) / ZELVAN_TTS_SAMPLE_RATE;
    outcome.busy_seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return outcome;
}

}  // namespace zelvan_tts
