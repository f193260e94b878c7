// Test support: each test starts with an empty module-relative models root
// (this test program's own <bin>/../models), no installation root set, and
// no loaded stress instances.
#pragma once

#include "accentor/accentor_stage.h"
#include "tools/test_accentor_models.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zelvan_tts {

class StressModelsRoot : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        default_root_ =
            fs::canonical(fs::read_symlink("/proc/self/exe").parent_path() / "..") / "models";
        fs::remove_all(default_root_);
        install_root_ =
            fs::temp_directory_path() / ("zelvan ударение " + std::to_string(getpid())) / "root";
        fs::remove_all(install_root_.parent_path());
        fs::create_directories(install_root_);
        unsetenv("ZELVAN_TTS_MODEL_PATH");
        release_accentors();
    }
    void TearDown() override {
        release_accentors();
        unsetenv("ZELVAN_TTS_MODEL_PATH");
        std::filesystem::remove_all(default_root_);
        std::filesystem::remove_all(install_root_.parent_path());
    }

    // The directory of one accentor language below the default root.
    std::string default_dir(const std::string& lang) const {
        return (default_root_ / "accentor" / lang).string();
    }
    std::string install_dir(const std::string& lang) const {
        return (install_root_ / "accentor" / lang).string();
    }
    void use_install_root() const { setenv("ZELVAN_TTS_MODEL_PATH", install_root_.c_str(), 1); }

    std::filesystem::path default_root_;
    std::filesystem::path install_root_;
};

}  // namespace zelvan_tts
