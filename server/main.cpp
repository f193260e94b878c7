// zelvan_tts_server [--debug]
// Keeps the voice model loaded and answers synthesis requests on the local
// pipe, one client at a time.
#include "server/server_loop.h"

#include <cstring>

int main(int argc, char** argv) {
    zelvan_tts::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--debug") == 0) options.debug = true;
    }
    return zelvan_tts::run_server(options);
}
