// Loaded by platform_test with dlopen: answers with the module file that the
// platform layer sees from inside a library.
#include "platform/module_path.h"

#include <cstring>
#include <string>

extern "C" __attribute__((visibility("default"))) void zelvan_probe_module_file(char* out,
                                                                                size_t size) {
    const std::string path = zelvan_tts::running_module_file().string();
    std::strncpy(out, path.c_str(), size - 1);
    out[size - 1] = '\0';
}
