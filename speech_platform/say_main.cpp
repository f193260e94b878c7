// zelvan_tts_sapi_say: speaks a text with the voice-engine library the way
// the speech platform drives it, and writes the audio and the events.
#include "platform/module_path.h"
#include "com/wide_string.h"
#include "speech_platform/platform_session.h"
#include "speech_platform/registry_store.h"
#include "speech_platform/speech_output.h"
#include "speech_platform/text_fragments.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

using namespace zelvan_tts;
using namespace zelvan_tts::speech_platform;
namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage: zelvan_tts_sapi_say [--voice N|NAME] [--rate R] [--volume V] [--events FILE.json]\n"
    "                           -o FILE.wav TEXT\n"
    "TEXT may hold <bookmark mark=\"NAME\"/>, <pitch middle=\"N\">...</pitch>,\n"
    "<spell>...</spell> and <silence msec=\"N\"/>.\n";

struct Options {
    std::string voice = "0";
    long rate = 0;
    long volume = 100;
    std::string events_path;
    std::string output_path;
    std::optional<std::string> text;
};

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

long parse_long(const std::string& option, const std::string& text, long low, long high) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high) {
        throw usage_error(option + " wants a whole number from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", not \"" + text + "\"");
    }
    return value;
}

Options parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw usage_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--voice") {
            o.voice = value();
        } else if (arg == "--rate") {
            o.rate = parse_long(arg, value(), -10, 10);
        } else if (arg == "--volume") {
            o.volume = parse_long(arg, value(), 0, 100);
        } else if (arg == "--events") {
            o.events_path = value();
        } else if (arg == "-o") {
            o.output_path = value();
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else if (!o.text && (arg.empty() || arg[0] != '-' || arg == "-")) {
            o.text = arg;
        } else {
            throw usage_error(o.text ? "Unexpected argument: " + arg : "Unknown option: " + arg);
        }
    }
    if (o.output_path.empty()) throw usage_error("-o FILE.wav is missing");
    if (!o.text) throw usage_error("TEXT is missing");
    return o;
}

// A voice by its position in the token list, its display name or its given
// name, ignoring case.
ISpObjectToken* choose_voice(const std::vector<com::ptr<ISpObjectToken>>& tokens,
                             const std::string& wanted) {
    errno = 0;
    char* end = nullptr;
    const long index = std::strtol(wanted.c_str(), &end, 10);
    if (!wanted.empty() && *end == '\0' && errno == 0) {
        if (index >= 0 && static_cast<std::size_t>(index) < tokens.size()) {
            return tokens[index].get();
        }
    } else {
        const com::wstring name = com::to_wide(wanted);
        for (const auto& token : tokens) {
            const com::wstring display = token_display_name(token.get());
            const com::wstring given = display.substr(0, display.find(u" ("));
            if (com::equal_ignoring_case(display, name) || com::equal_ignoring_case(given, name)) {
                return token.get();
            }
        }
    }
    throw usage_error("Unknown voice: " + wanted + " (give 0 to " +
                      std::to_string(tokens.size() - 1) + " or a voice name)");
}

// A registry of its own for this run, removed at the end.
class temporary_registry {
public:
    temporary_registry() {
        std::string pattern = (fs::temp_directory_path() / "zelvan_sapi_say.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("Cannot create a temporary directory");
        }
        dir_ = pattern;
        setenv(kRegistryVariable, (dir_ / "registry.json").c_str(), 1);
    }
    ~temporary_registry() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

private:
    fs::path dir_;
};

std::string hex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

int run(const Options& options) {
    const fragment_list fragments = parse_text(*options.text);
    const temporary_registry registry;
    const fs::path library = running_module_file().parent_path() / "zelvan_tts_sapi.so";
    plugin engine_library(library.string());

    HRESULT hr = engine_library.DllRegisterServer();
    if (FAILED(hr)) {
        std::cerr << "Registering the voice engine failed: " << hex(hr) << "\n";
        return 1;
    }
    int status = 0;
    {
        const auto tokens = list_voice_tokens(engine_library);
        if (tokens.empty()) throw std::runtime_error("The voice engine lists no voices");
        ISpObjectToken* token = choose_voice(tokens, options.voice);
        const auto engine = create_engine(engine_library, token);

        engine_site site;
        site.rate = static_cast<LONG>(options.rate);
        site.volume = static_cast<USHORT>(options.volume);
        unsigned sample_rate = 48000;
        // An empty text has no fragments: nothing to say is not a failure.
        hr = fragments.head() == nullptr
                 ? S_OK
                 : speak(engine.get(), fragments.head(), site, &sample_rate);
        if (FAILED(hr)) {
            std::cerr << "Speaking failed: " << hex(hr)
                      << " (is the voice model installed? see ZELVAN_TTS_MODEL_PATH)\n";
            status = 1;
        } else {
            write_wav(options.output_path, site.audio(), sample_rate);
            if (!options.events_path.empty()) {
                std::ofstream out(options.events_path, std::ios::binary | std::ios::trunc);
                out << events_json(site.events());
                out.flush();
                if (!out) throw std::runtime_error("Cannot write " + options.events_path);
            }
        }
    }
    engine_library.DllUnregisterServer();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(parse_options(argc, argv));
    } catch (const usage_error& e) {
        std::cerr << "zelvan_tts_sapi_say: " << e.what() << "\n" << kUsage;
        return 2;
    } catch (const std::invalid_argument& e) {
        std::cerr << "zelvan_tts_sapi_say: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "zelvan_tts_sapi_say: " << e.what() << "\n";
        return 1;
    }
}
