#include "engine/voice_model.h"

#include "engine/data_files.h"
#include "platform/utf8_path.h"

#include <ATen/Parallel.h>
#include <caffe2/serialize/read_adapter_interface.h>
#include <torch/script.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace zelvan_tts {

namespace {

// Lets LibTorch read the archive straight out of the decrypted buffer, so the
// plaintext is never copied into a string or stream.
class ByteVectorReader : public caffe2::serialize::ReadAdapterInterface {
public:
    explicit ByteVectorReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    size_t size() const override { return bytes_.size(); }

    size_t read(uint64_t pos, void* buf, size_t n, const char* /*what*/) const override {
        if (pos >= bytes_.size()) return 0;
        const size_t count = std::min<size_t>(n, bytes_.size() - pos);
        std::memcpy(buf, bytes_.data() + pos, count);
        return count;
    }

private:
    const std::vector<std::uint8_t>& bytes_;
};

}  // namespace

void configure_torch_runtime() {
    at::set_num_threads(4);
    torch::jit::getProfilingMode() = false;
}

torch::jit::Module load_voice_model(const std::string& path) {
    if (!std::filesystem::exists(path_from_utf8(path))) {
        throw std::runtime_error("Encrypted model not found: " + path);
    }
    torch::jit::Module module;
    {
        std::vector<std::uint8_t> plaintext;
        if (!decrypt_file(path, plaintext)) {
            throw std::runtime_error("Failed to decrypt model: " + path);
        }
        module = torch::jit::load(std::make_shared<ByteVectorReader>(plaintext));
    }  // the plaintext goes before freezing makes its own copies of the weights
    module.eval();
    module = torch::jit::freeze(module);
    module = torch::jit::optimize_for_inference(module);
    return module;
}

}  // namespace zelvan_tts
