// Speaking aloud: the audio goes to an installed command-line player
// (aplay, else paplay) through a pipe as it arrives. A thread of its own
// feeds the player, so that the caller keeps reading the server at full
// speed while the player takes the audio at the pace it plays it; the
// server gives up on a client that stops reading for 30 s.
#pragma once

#include "platform/process_launch.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zelvan_tts {

// The player command for 16-bit little-endian mono PCM at `sample_rate`:
// aplay when the search path holds it, else paplay; nullopt when neither.
std::optional<std::vector<std::string>> find_player(int sample_rate);

class AudioPlayer {
public:
    // Starts the player `command` (program path first). Throws
    // std::runtime_error when it cannot be started.
    explicit AudioPlayer(const std::vector<std::string>& command);
    // Stops the player without waiting for it to finish playing.
    ~AudioPlayer();
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    // Queues 16-bit little-endian samples for the player. False once the
    // player has stopped taking audio.
    bool play(const std::uint8_t* bytes, std::size_t count);

    // Waits until the player has played everything and exited; throws
    // std::runtime_error when it failed.
    void finish();

private:
    void feed();

    PipedProcess process_;
    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<std::vector<std::uint8_t>> queue_;
    bool closing_ = false;
    bool broken_ = false;
    std::thread feeder_;
};

}  // namespace zelvan_tts
