#include "core/encrypted_module.h"

#include "core/data_files.h"

#include <caffe2/serialize/read_adapter_interface.h>
#include <torch/script.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace zelvan_tts {

namespace {

// Lets LibTorch read the archive straight out of the decrypted buffer.
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

bool load_encrypted_module(const std::string& path, torch::jit::Module& module) {
    // The plaintext lives only in this buffer and only until the module is built.
    std::vector<std::uint8_t> plaintext;
    if (!decrypt_file(path, plaintext)) return false;
    module = torch::jit::load(std::make_shared<ByteVectorReader>(plaintext));
    return true;
}

std::string error_line(const std::exception& error) {
    const auto* torch_error = dynamic_cast<const c10::Error*>(&error);
    std::string line = torch_error ? torch_error->what_without_backtrace() : error.what();
    line = line.substr(0, line.find('\n'));
    if (line.size() > 200) line = line.substr(0, 200) + "...";
    return line;
}

void load_encrypted_module_explained(const std::string& path, torch::jit::Module& module) {
    std::vector<std::uint8_t> plaintext;
    if (!decrypt_file(path, plaintext)) {
        const std::string problem = data_file_problem(path);
        if (problem == "not found") throw std::runtime_error("Encrypted model not found: " + path);
        throw std::runtime_error("Failed to decrypt model: " + path + " (" +
                                 (problem.empty() ? "not readable" : problem) + ")");
    }
    const bool archive = plaintext.size() >= 2 && plaintext[0] == 'P' && plaintext[1] == 'K';
    try {
        module = torch::jit::load(std::make_shared<ByteVectorReader>(plaintext));
    } catch (const std::exception& e) {
        throw std::runtime_error((archive ? "Model file is truncated or damaged: "
                                          : "Model file is not a TorchScript archive: ") +
                                 path + " (" + error_line(e) + ")");
    }
}

void restore_quantised_weight(torch::jit::Module& table, const at::Tensor& scale,
                              const at::Tensor& zero_point) noexcept {
    try {
        const at::Tensor weight = table.attr("weight").toTensor().clone();
        const at::Tensor restored = scale * (weight - zero_point);
        for (const auto& parameter : table.named_parameters(/*recurse=*/true)) {
            if (parameter.name == "weight") {
                // The parameter object stays; its storage, shape and type become
                // the restored tensor's.
                at::Tensor(parameter.value).set_data(restored);
                break;
            }
        }
    } catch (...) {
        // The table stays as loaded.
    }
}

}  // namespace zelvan_tts
