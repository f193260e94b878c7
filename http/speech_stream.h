// One synthesis on a leased engine, encoded as it is made and handed to the
// client's connection; a client that has gone cancels it.
#pragma once

#include "audio/audio_encoding.h"
#include "http/speech_request.h"
#include "zelvan_tts.h"

#include <chrono>
#include <functional>
#include <string>

namespace zelvan_tts {

struct StreamOutcome {
    zelvan_tts_status status = ZELVAN_TTS_OK;
    std::string error;          // the library's message when status is a failure
    bool client_gone = false;   // the sink refused or `still_there` said no
    double audio_seconds = 0;   // audio made
    double busy_seconds = 0;    // time the engine spent
    double first_byte_seconds = -1;  // from `arrived` to the first audio handed on
};

// Speaks `job` on `engine` into an encoder of the job's format writing to
// `sink`. `still_there` is asked before each sentence reaches the voice
// model; when it says no, or the sink refuses bytes, the synthesis is
// cancelled.
StreamOutcome stream_speech(zelvan_tts_engine* engine, const SpeechJob& job, ByteSink sink,
                            const std::function<bool()>& still_there,
                            std::chrono::steady_clock::time_point arrived);

}  // namespace zelvan_tts
