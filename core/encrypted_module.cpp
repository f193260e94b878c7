#include "core/encrypted_module.h"

#include "core/data_files.h"

#include <caffe2/serialize/read_adapter_interface.h>
#include <torch/script.h>

#include <algorithm>
#include <cstring>
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
