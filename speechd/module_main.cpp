// sd_zelvan: the speech-dispatcher output module of Zelvan TTS. The server
// starts it as `sd_zelvan CONFIG_FILE` and talks to it on standard input and
// output; standard error is the module's log.
#include "speechd/capi_engine.h"
#include "speechd/module_config.h"
#include "speechd/module_session.h"

#include "zelvan_tts.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    using namespace zelvan_tts::speechd;
    // A server that has gone away must not kill the module in the middle of
    // a write; the write fails and the input ends.
    std::signal(SIGPIPE, SIG_IGN);
    // The protocol gets a descriptor of its own; whatever a library prints
    // on standard output lands in the log instead of the protocol.
    const int protocol = ::dup(STDOUT_FILENO);
    if (protocol < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("sd_zelvan: standard output");
        return 1;
    }

    const ModuleConfig config = read_module_config(argc > 1 ? argv[1] : "");
    int default_voice = zelvan_tts_default_request().voice;
    if (!config.default_voice.empty()) {
        const int v = capi_find_voice(config.default_voice);
        if (v >= 0)
            default_voice = v;
        else
            std::fprintf(stderr, "sd_zelvan: no voice %s, using the default voice\n",
                         config.default_voice.c_str());
    }
    ModuleSession session(
        capi_voices(),
        [&config](std::string& error) { return open_capi_engine(config.model_path, error); },
        protocol, default_voice);
    LineReader in(STDIN_FILENO);
    session.serve(in);
    return 0;
}
