#include "core/module_packing.h"

#include "core/data_file_writer.h"

#include <sstream>

namespace zelvan_tts {

std::string module_archive(const torch::jit::Module& module) {
    std::ostringstream out(std::ios::binary);
    module.save(out);
    return std::move(out).str();
}

void pack_module(const torch::jit::Module& module, const std::string& path) {
    write_data_file(path, module_archive(module));
}

}  // namespace zelvan_tts
