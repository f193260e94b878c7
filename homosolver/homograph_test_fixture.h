// Test-only: each homosolver test gets an installation root of its own with
// a homograph directory in it, an empty module-relative models root, and an
// empty homograph slot.
#pragma once

#include "homosolver/homograph_stage.h"
#include "tools/test_homosolver_models.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zelvan_tts {

class HomographFiles : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        default_root_ =
            fs::canonical(fs::read_symlink("/proc/self/exe").parent_path() / "..") / "models";
        fs::remove_all(default_root_);
        root_ = fs::temp_directory_path() / ("zelvan омографы " + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        setenv("ZELVAN_TTS_MODEL_PATH", root_.c_str(), 1);
        release_homosolver();
    }
    void TearDown() override {
        release_homosolver();
        unsetenv("ZELVAN_TTS_MODEL_PATH");
        std::filesystem::remove_all(root_);
        std::filesystem::remove_all(default_root_);
    }

    std::string dir() const { return (root_ / "homosolver").string(); }
    std::string file(const char* name) const { return (root_ / "homosolver" / name).string(); }
    void install(const test_models::HomographResources& resources) const {
        test_models::write_homograph_resources(dir(), resources);
    }

    std::filesystem::path default_root_;
    std::filesystem::path root_;
};

}  // namespace zelvan_tts
