// The zelvan_tts subcommands that talk to the synthesis server: say, info
// and shutdown. Each returns the process exit code.
#pragma once

#include <string>
#include <vector>

namespace zelvan_tts {

// say [--voice N|KEY|NAME] [--speed F] [--pitch F] [--volume F]
//     [-o FILE.wav | --raw] [--play] [--timings FILE.json] [--ssml]
//     [--punctuation none|some|most|all] [--capitals none|spell|icon] [--spell] [TEXT],
// or say --list-voices
int run_say(const std::vector<std::string>& args);
int run_info(const std::vector<std::string>& args);
int run_shutdown(const std::vector<std::string>& args);

// Exit codes beyond 0 (done) and 1 (failed).
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

}  // namespace zelvan_tts
