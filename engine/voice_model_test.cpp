#include "engine/voice_model.h"

#include "core/data_files.h"
#include "engine/model_constants.h"
#include "core/data_file_writer.h"
#include "tools/test_models.h"

#include <ATen/Parallel.h>
#include <gtest/gtest.h>
#include <torch/script.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;
using test_models::VoiceModelKind;

class VoiceModel : public ::testing::Test {
protected:
    static void SetUpTestSuite() { configure_torch_runtime(); }
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zelvan голос " + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string model(VoiceModelKind kind, const std::string& name = "multivoice_base.bin",
                      std::int64_t ballast = 0) {
        const std::string path = (dir_ / name).string();
        test_models::write_voice_model(path, kind, ballast);
        return path;
    }

    static c10::IValue run(torch::jit::Module& module, std::vector<std::int64_t> ids,
                           std::int64_t speaker) {
        torch::InferenceMode guard;
        const auto n = static_cast<std::int64_t>(ids.size());
        auto input = torch::tensor(ids, torch::kInt64).reshape({1, n});
        return module.forward({input, torch::tensor({speaker}, torch::kInt64)});
    }

    fs::path dir_;
};

TEST_F(VoiceModel, RuntimeIsConfiguredForInference) {
    EXPECT_EQ(at::get_num_threads(), 4);
    EXPECT_FALSE(torch::jit::getProfilingMode());
    EXPECT_EQ(kSampleRate, 48000);
    EXPECT_EQ(kSpeakerCount, 60);
}

TEST_F(VoiceModel, LoadsAFrozenModuleThatMeetsTheCallContract) {
    auto module = load_voice_model(model(VoiceModelKind::Timed, "multivoice_base.bin", 1000));
    // Frozen: the weight became a constant of the graph.
    EXPECT_EQ(module.parameters().size(), 0u);
    EXPECT_FALSE(module.hasattr("ballast"));

    const c10::IValue result = run(module, {2, 25, 21, 1}, 7);
    ASSERT_TRUE(result.isTuple());
    const auto& elements = result.toTupleRef().elements();
    const at::Tensor audio = elements[0].toTensor();
    const at::Tensor times = elements[1].toTensor();
    ASSERT_EQ(audio.scalar_type(), torch::kFloat32);
    ASSERT_EQ(audio.numel(), 4 * test_models::kSamplesPerSymbol);
    EXPECT_FLOAT_EQ(audio[0].item<float>(), test_models::expected_sample(2, 7));
    EXPECT_FLOAT_EQ(audio[test_models::kSamplesPerSymbol + 1].item<float>(),
                    test_models::expected_sample(25, 7));
    ASSERT_EQ(times.numel(), 4);
    EXPECT_FLOAT_EQ(times[3].item<float>(), 0.03f);
}

TEST_F(VoiceModel, OtherResultShapesLoadAndBehaveAsBuilt) {
    auto plain = load_voice_model(model(VoiceModelKind::AudioOnly, "plain.bin"));
    const c10::IValue audio = run(plain, {2, 1}, 0);
    ASSERT_TRUE(audio.isTensor());
    EXPECT_EQ(audio.toTensor().numel(), 2 * test_models::kSamplesPerSymbol);

    auto ints = load_voice_model(model(VoiceModelKind::Int64Audio, "ints.bin"));
    EXPECT_EQ(run(ints, {2, 1}, 0).toTupleRef().elements()[0].toTensor().scalar_type(),
              torch::kInt64);

    auto raising = load_voice_model(model(VoiceModelKind::Raising, "raising.bin"));
    try {
        run(raising, {2, 1}, 0);
        ADD_FAILURE() << "forward should raise";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("test voice model failure"), std::string::npos)
            << e.what();
    }
}

TEST_F(VoiceModel, FailuresCarryTheirFixedTextsAndThePath) {
    const std::string missing = (dir_ / "absent" / "multivoice_base.bin").string();
    try {
        load_voice_model(missing);
        ADD_FAILURE() << "loaded a missing model";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Encrypted model not found: " + missing);
    }

    const std::string garbage = (dir_ / "garbage.bin").string();
    std::ofstream(garbage, std::ios::binary) << std::string(48, 'g');
    try {
        load_voice_model(garbage);
        ADD_FAILURE() << "loaded garbage";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Failed to decrypt model: " + garbage + " (wrong key or not a data file)");
    }

    // A well-formed container around something that is not an archive: one
    // line with LibTorch's reason.
    const std::string not_archive = (dir_ / "text.bin").string();
    write_data_file(not_archive, "just some text, not a TorchScript archive");
    try {
        load_voice_model(not_archive);
        ADD_FAILURE() << "loaded a text as a model";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()).find("Failed to decrypt model"), std::string::npos);
        EXPECT_EQ(std::string(e.what()).find("Encrypted model not found"), std::string::npos);
    }
}

TEST_F(VoiceModel, ATruncatedModelGivesOneLineWithThePathAndTheReason) {
    const std::string whole = model(VoiceModelKind::Timed);
    std::string bytes;
    {
        std::ifstream in(whole, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::uint8_t> archive;
    ASSERT_TRUE(decrypt_file(whole, archive));
    const std::string plain(archive.begin(), archive.end());
    struct Case {
        const char* name;
        std::string content;  // of the file
        bool packed;          // written as a data file of that content
    };
    const Case cases[] = {
        {"cut inside a block", bytes.substr(0, 1000), false},
        // The padding of the last block is then garbage: the right key shows
        // in the first block.
        {"cut at a block's end", bytes.substr(0, 1024), false},
        {"the archive cut, then packed", plain.substr(0, plain.size() / 2), true},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        const std::string path = (dir_ / "cut.bin").string();
        if (c.packed) {
            write_data_file(path, c.content);
        } else {
            std::ofstream(path, std::ios::binary | std::ios::trunc) << c.content;
        }
        try {
            load_voice_model(path);
            ADD_FAILURE() << c.name << ": loaded";
        } catch (const std::exception& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.find('\n'), std::string::npos) << c.name << ": " << message;
            EXPECT_NE(message.find(": " + path + " ("), std::string::npos) << c.name << ": " << message;
            EXPECT_NE(message.find("truncated"), std::string::npos) << c.name << ": " << message;
            EXPECT_LT(message.size(), path.size() + 300) << c.name << ": " << message;
        }
    }
}

}  // namespace
}  // namespace zelvan_tts
