#include "tools/bench_voice_model.h"

#include "core/module_packing.h"

#include <cmath>

namespace zelvan_tts::bench_models {

namespace {

constexpr std::int64_t kSymbols = 85;
constexpr std::int64_t kSpeakers = 60;
constexpr std::int64_t kEncoderWidth = 384;
constexpr std::int64_t kEncoderLayers = 12;
constexpr std::int64_t kDecoderWidth = 512;
constexpr std::int64_t kDecoderLayers = 16;
constexpr std::int64_t kFramesPerSymbol = 4;  // 600 samples per frame

// Random weights scaled so that activations neither die nor explode.
at::Tensor weight(std::vector<std::int64_t> shape, std::int64_t fan_in) {
    return torch::randn(shape) * (1.0 / std::sqrt(static_cast<double>(fan_in)));
}

const char* const kSource = R"(
def forward(self, ids: Tensor, speaker: Tensor):
    n = ids.size(1)
    x = self.symbols.index_select(0, ids[0]) + self.speakers.index_select(0, speaker)
    x = x.t().unsqueeze(0)
    for i in range(self.encoder.size(0)):
        x = torch.relu(torch.conv1d(x, self.encoder[i], None, 1, 2)) + x
    x = torch.repeat_interleave(x, 4, 2)
    x = torch.conv1d(x, self.pre, None, 1, 3)
    for i in range(self.decoder.size(0)):
        x = torch.relu(torch.conv1d(x, self.decoder[i], None, 1, 1)) * 0.5 + x
    x = torch.relu(torch.conv_transpose1d(x, self.up1, None, 8, 4))
    x = torch.relu(torch.conv_transpose1d(x, self.up2, None, 5, 3, 1))
    x = torch.relu(torch.conv_transpose1d(x, self.up3, None, 5, 3, 1))
    x = torch.relu(torch.conv_transpose1d(x, self.up4, None, 3, 2))
    x = torch.conv1d(x, self.post, None, 1, 3)
    audio = torch.tanh(x).squeeze(1) * 0.5
    times = torch.arange(n).float() * 0.05
    return (audio, times)
)";

// The same call and result shape at next to no cost: what the pipeline does
// around a forward of this size.
const char* const kNullSource = R"(
def forward(self, ids: Tensor, speaker: Tensor):
    n = ids.size(1)
    audio = torch.zeros(1, n * 2400) + speaker.float() * 0.0
    times = torch.arange(n).float() * 0.05
    return (audio, times)
)";

}  // namespace

void write_null_voice_model(const std::string& path) {
    torch::jit::Module module("NullVoiceModel");
    module.define(kNullSource);
    pack_module(module, path);
}

std::int64_t write_bench_voice_model(const std::string& path) {
    torch::manual_seed(20261209);  // the same weights on every build
    torch::jit::Module module("BenchVoiceModel");
    const std::int64_t c = kEncoderWidth, d = kDecoderWidth;
    module.register_parameter("symbols", weight({kSymbols, c}, 1), false);
    module.register_parameter("speakers", weight({kSpeakers, c}, 1) * 0.1, false);
    module.register_parameter("encoder", weight({kEncoderLayers, c, c, 5}, c * 5), false);
    module.register_parameter("pre", weight({d, c, 7}, c * 7), false);
    module.register_parameter("decoder", weight({kDecoderLayers, d, d, 3}, d * 3), false);
    module.register_parameter("up1", weight({d, 256, 16}, d * 2), false);
    module.register_parameter("up2", weight({256, 128, 10}, 256 * 2), false);
    module.register_parameter("up3", weight({128, 64, 10}, 128 * 2), false);
    module.register_parameter("up4", weight({64, 32, 7}, 64 * 3), false);
    module.register_parameter("post", weight({1, 32, 7}, 32 * 7), false);
    module.define(kSource);
    std::int64_t count = 0;
    for (const auto& p : module.parameters()) count += p.numel();
    pack_module(module, path);
    static_assert(kFramesPerSymbol * 600 == kBenchSamplesPerSymbol);
    return count;
}

}  // namespace zelvan_tts::bench_models
