#include "client/audio_player.h"

#include <stdexcept>

namespace zelvan_tts {

std::optional<std::vector<std::string>> find_player(int sample_rate) {
    const std::string rate = std::to_string(sample_rate);
    if (const auto aplay = find_program("aplay")) {
        return std::vector<std::string>{aplay->string(), "-q", "-t", "raw", "-f", "S16_LE",
                                        "-c", "1", "-r", rate};
    }
    if (const auto paplay = find_program("paplay")) {
        return std::vector<std::string>{paplay->string(), "--raw", "--format=s16le",
                                        "--channels=1", "--rate=" + rate};
    }
    return std::nullopt;
}

AudioPlayer::AudioPlayer(const std::vector<std::string>& command) {
    const std::optional<PipedProcess> process = launch_with_input(command);
    if (!process) {
        throw std::runtime_error(command.empty() ? "Cannot start the audio player"
                                                 : "Cannot start the audio player " + command[0]);
    }
    process_ = *process;
    feeder_ = std::thread([this] { feed(); });
}

AudioPlayer::~AudioPlayer() {
    if (process_.id < 0) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
        queue_.clear();
    }
    ready_.notify_one();
    // A feeder blocked on a full pipe gets its write failed.
    terminate_process(process_);
    feeder_.join();
    wait_process(process_);
}

bool AudioPlayer::play(const std::uint8_t* bytes, std::size_t count) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (broken_) return false;
        queue_.emplace_back(bytes, bytes + count);
    }
    ready_.notify_one();
    return true;
}

void AudioPlayer::feed() {
    std::unique_lock<std::mutex> hold(lock_);
    while (true) {
        ready_.wait(hold, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) break;  // closing, and everything is written
        std::vector<std::uint8_t> block = std::move(queue_.front());
        queue_.pop_front();
        if (broken_) continue;
        hold.unlock();
        const bool written = write_input(process_, block.data(), block.size());
        hold.lock();
        if (!written) broken_ = true;
    }
    // The end of its input tells the player to play what it holds and exit.
    close_input(process_);
}

void AudioPlayer::finish() {
    if (process_.id < 0) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
    }
    ready_.notify_one();
    feeder_.join();
    const bool exited_well = wait_process(process_);
    if (broken_ || !exited_well) throw std::runtime_error("The audio player failed");
}

}  // namespace zelvan_tts
