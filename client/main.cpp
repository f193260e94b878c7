// zelvan_tts: the command users run.
//   zelvan_tts say [--voice N|KEY|NAME] [--speed F] [--pitch F] [--volume F]
//                  [-o FILE | --raw] [--format wav|pcm|flac|opus|mp3] [--play]
//                  [--timings FILE.json] [--ssml] [--punctuation none|some|most|all]
//                  [--capitals none|spell|icon] [--spell] [TEXT]
//   zelvan_tts say --list-voices
//   zelvan_tts voices
//   zelvan_tts text --voice N [--json] [TEXT]
//   zelvan_tts info
//   zelvan_tts shutdown
// Only `text` loads the engine (libzelvan_tts, when it runs); the others
// talk to the server and start in milliseconds.
#include "client/dictionary_command.h"
#include "client/engine_library.h"
#include "client/server_commands.h"
#include "client/text_preview.h"
#include "client/voice_choice.h"
#include "core/settings.h"

#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: zelvan_tts <command> [options]\n"
    "commands:\n"
    "  say [--voice N|KEY|NAME] [--speed F] [--pitch F] [--volume F] [-o FILE | --raw]\n"
    "      [--format wav|pcm|flac|opus|mp3] [--play] [--timings FILE.json] [--ssml]\n"
    "      [--punctuation none|some|most|all] [--capitals none|spell|icon] [--spell] [TEXT]\n"
    "                                     speak TEXT (or standard input) through the server,\n"
    "                                     starting it when none runs; -o defaults to speech.wav\n"
    "                                     unless --raw or --play; FILE's extension (.wav .flac\n"
    "                                     .ogg .opus .mp3 .raw) or --format picks the format;\n"
    "                                     --play speaks aloud through\n"
    "                                     aplay or paplay as the audio arrives; --ssml reads\n"
    "                                     TEXT as SSML (breaks, prosody, say-as, sub, mark,\n"
    "                                     voice, xml:lang); --punctuation names punctuation,\n"
    "                                     --spell spells every word, --capitals announces\n"
    "                                     spelled capitals by a word or a tone\n"
    "  voices, say --list-voices          list the voices: index, key, name, language\n"
    "  text --voice N [--json] [TEXT]     show what the engine makes of TEXT (or standard\n"
    "                                     input) before the voice model sees it\n"
    "  info                               the server's speaker count and sample rate\n"
    "  shutdown                           stop the running server\n";

constexpr int kUsageError = zelvan_tts::kExitUsage;

int usage_error(const std::string& message) {
    std::cerr << "zelvan_tts: " << message << "\n" << kUsage << zelvan_tts::kDictionaryUsage;
    return kUsageError;
}

int run_voices(const std::vector<std::string>& args) {
    if (!args.empty()) return usage_error("voices takes no arguments");
    std::cout << zelvan_tts::voice_list();
    return 0;
}

int run_text(const std::vector<std::string>& args) {
    std::optional<std::string> voice_arg;
    std::optional<std::string> text;
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--voice") {
            if (i + 1 == args.size()) return usage_error("--voice needs a value");
            voice_arg = args[++i];
        } else if (arg.rfind("--voice=", 0) == 0) {
            voice_arg = arg.substr(8);
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--") {
            if (i + 2 != args.size() || text) return usage_error("text takes one TEXT");
            text = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return usage_error("unknown option " + arg);
        } else if (text) {
            return usage_error("text takes one TEXT (quote it)");
        } else {
            text = arg;
        }
    }
    if (!voice_arg) return usage_error("text needs --voice N");
    const std::optional<int> voice = zelvan_tts::parse_voice(*voice_arg);
    if (!voice) {
        std::cerr << "zelvan_tts: " << zelvan_tts::unknown_voice_message(*voice_arg) << "\n";
        return kUsageError;
    }
    if (!text)
        text.emplace(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());

    try {
        // The settings a synthesis would use, read without taking the change
        // signal that a running engine is waiting for.
        const zelvan_tts::RuntimeSettings settings = zelvan_tts::load_settings_file();
        zelvan_tts::EngineLibrary engine(settings.enable_homosolver, settings.enable_accentor,
                                         settings.enable_reading);
        const zelvan_tts::TextPreview preview =
            zelvan_tts::preview_text(engine.process_text(*text, *voice), *voice);
        std::cout << (json ? zelvan_tts::preview_json(preview)
                           : zelvan_tts::preview_plain(preview));
    } catch (const std::exception& e) {
        std::cerr << "zelvan_tts: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage_error("no command given");
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "voices" || command == "--list-voices") return run_voices(args);
    if (command == "text") return run_text(args);
    if (command == "say") return zelvan_tts::run_say(args);
    if (command == "info") return zelvan_tts::run_info(args);
    if (command == "shutdown") return zelvan_tts::run_shutdown(args);
    if (command == "dict") return zelvan_tts::run_dictionary_command(args, std::cout, std::cerr);
    if (command == "-h" || command == "--help" || command == "help") {
        std::cout << kUsage << zelvan_tts::kDictionaryUsage;
        return 0;
    }
    return usage_error("unknown command " + command);
}
