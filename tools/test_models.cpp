#include "tools/test_models.h"

#include "core/module_packing.h"

namespace zelvan_tts::test_models {

namespace {

std::string voice_model_source(VoiceModelKind kind, bool ballast) {
    const std::string sps = std::to_string(kSamplesPerSymbol);
    // Reading one ballast element per call keeps the weight alive through
    // freezing; multiplied by zero it leaves the audio unchanged.
    const std::string weight_term =
        ballast ? " + self.ballast.index_select(0, ids[0] % self.ballast.size(0)) * 0.0" : "";
    const std::string audio = "    base = ids[0].float() * 0.001 + speaker.float() * 0.0001" +
                              weight_term + "\n" + "    audio = torch.repeat_interleave(base, " +
                              sps + ")\n";
    const std::string times = "    times = torch.arange(ids.size(1)).float() * 0.01\n";
    const std::string head = "def forward(self, ids: Tensor, speaker: Tensor):\n";
    switch (kind) {
        case VoiceModelKind::Timed:
            return head + audio + times + "    return (audio, times)\n";
        case VoiceModelKind::AudioOnly:
            return head + audio + "    return audio\n";
        case VoiceModelKind::Raising:
            return head + "    assert ids.size(1) < 0, 'test voice model failure'\n" + audio +
                   "    return audio\n";
        case VoiceModelKind::Int64Audio:
            return head + "    audio = torch.repeat_interleave(ids[0], " + sps + ")\n" + times +
                   "    return (audio, times)\n";
    }
    return {};
}

}  // namespace

void write_voice_model(const std::string& path, VoiceModelKind kind, std::int64_t ballast_floats) {
    torch::jit::Module module("TestVoiceModel");
    if (ballast_floats > 0) {
        module.register_parameter("ballast", torch::rand({ballast_floats}), false);
    }
    module.define(voice_model_source(kind, ballast_floats > 0));
    pack_module(module, path);
}

}  // namespace zelvan_tts::test_models
