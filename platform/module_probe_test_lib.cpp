// Loaded by platform_test (dlopen, LoadLibraryW): answers with the module file that the
// platform layer sees from inside a library.
#include "platform/module_path.h"
#include "platform/utf8_path.h"

#include <cstring>
#include <string>

#ifdef _WIN32
#define PROBE_EXPORT __declspec(dllexport)
#else
#define PROBE_EXPORT __attribute__((visibility("default")))
#endif

// The path as UTF-8, whatever the platform's native path type.
extern "C" PROBE_EXPORT void zelvan_probe_module_file(char* out, size_t size) {
    const std::string path = zelvan_tts::path_to_utf8(zelvan_tts::running_module_file());
    std::strncpy(out, path.c_str(), size - 1);
    out[size - 1] = '\0';
}
