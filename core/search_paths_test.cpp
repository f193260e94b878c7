#include "core/search_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

// Each test gets an empty module-relative models root (this test program's
// own <bin>/../models) and an installation root with a non-ASCII name.
class SearchPaths : public ::testing::Test {
protected:
    void SetUp() override {
        default_root_ =
            fs::canonical(fs::read_symlink("/proc/self/exe").parent_path() / "..") / "models";
        fs::remove_all(default_root_);
        install_root_ =
            fs::temp_directory_path() / ("zelvan модели " + std::to_string(getpid())) / "root";
        fs::remove_all(install_root_.parent_path());
        fs::create_directories(install_root_);
        unsetenv("ZELVAN_TTS_MODEL_PATH");
    }
    void TearDown() override {
        unsetenv("ZELVAN_TTS_MODEL_PATH");
        fs::remove_all(default_root_);
        fs::remove_all(install_root_.parent_path());
    }

    static fs::path touch(const fs::path& file) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "x";
        return file;
    }
    void use_install_root(const std::string& value) {
        setenv("ZELVAN_TTS_MODEL_PATH", value.c_str(), 1);
    }

    fs::path default_root_;
    fs::path install_root_;
};

// Runs the body with the working directory changed, and changes it back.
template <typename Body>
void in_directory(const fs::path& dir, Body body) {
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    body();
    fs::current_path(old);
}

TEST_F(SearchPaths, ModuleDirIsTheProgramsDirectory) {
    EXPECT_EQ(module_dir(), fs::read_symlink("/proc/self/exe").parent_path());
}

TEST_F(SearchPaths, VoiceModelPrefersTheInstallationRoot) {
    const fs::path default_model = default_root_ / "tts" / "multivoice_base.bin";

    // Nothing anywhere: the module-relative path, weakly canonical.
    EXPECT_EQ(find_voice_model_path(), default_model);
    EXPECT_EQ(find_voice_model_path().string().find(".."), std::string::npos);

    touch(default_model);
    EXPECT_EQ(find_voice_model_path(), fs::canonical(default_model));

    // A root without the file falls back; a root with it wins, unnormalised.
    use_install_root(install_root_.string());
    EXPECT_EQ(find_voice_model_path(), fs::canonical(default_model));
    touch(install_root_ / "multivoice_base.bin");
    const std::string unnormalised = (install_root_ / ".." / "root").string();
    use_install_root(unnormalised);
    EXPECT_EQ(find_voice_model_path(), fs::path(unnormalised) / "multivoice_base.bin");

    // An empty value is a path relative to the working directory.
    use_install_root("");
    in_directory(install_root_, [] { EXPECT_EQ(find_voice_model_path(), "multivoice_base.bin"); });
}

TEST_F(SearchPaths, AccentorModelAndItsDictionaries) {
    EXPECT_EQ(find_accentor_model("ru"), "");
    EXPECT_EQ(find_accentor_file("", "ngrams.bin"), "");

    const fs::path default_model = touch(default_root_ / "accentor" / "ru" / "zelvan_accentor.bin");
    EXPECT_EQ(find_accentor_model("ru"), fs::canonical(default_model).string());
    EXPECT_EQ(find_accentor_model("ua"), "");

    use_install_root(install_root_.string());
    EXPECT_EQ(find_accentor_model("ru"), fs::canonical(default_model).string());
    const fs::path installed = touch(install_root_ / "accentor" / "ru" / "zelvan_accentor.bin");
    const std::string found = find_accentor_model("ru");
    EXPECT_EQ(found, fs::canonical(installed).string());

    EXPECT_EQ(find_accentor_file(found, "ngrams.bin"), "");
    touch(installed.parent_path() / "ngrams.bin");
    EXPECT_EQ(find_accentor_file(found, "ngrams.bin"),
              (installed.parent_path() / "ngrams.bin").string());
    EXPECT_EQ(find_accentor_file(found, "exceptions.bin"), "");

    // An empty value: candidates relative to the working directory.
    use_install_root("");
    in_directory(install_root_,
                 [&] { EXPECT_EQ(find_accentor_model("ru"), fs::canonical(installed).string()); });
}

TEST_F(SearchPaths, HomographDirectoryNeedsTheModelToTakeTheInstallationRoot) {
    const std::string default_dir = (default_root_ / "homosolver").string();
    EXPECT_EQ(find_homosolver_dir(), default_dir) << "unchecked default";

    use_install_root(install_root_.string());
    fs::create_directories(install_root_ / "homosolver");
    touch(install_root_ / "homosolver" / "vocab.bin");
    EXPECT_EQ(find_homosolver_dir(), default_dir) << "directory without model_emb_q.bin";

    touch(install_root_ / "homosolver" / "model_emb_q.bin");
    EXPECT_EQ(find_homosolver_dir(), (install_root_ / "homosolver").string());

    use_install_root((install_root_ / ".." / "root").string());
    EXPECT_EQ(find_homosolver_dir(), (install_root_ / "homosolver").string()) << "normalised";

    use_install_root("root");
    in_directory(install_root_.parent_path(), [&] {
        EXPECT_EQ(find_homosolver_dir(), (install_root_ / "homosolver").string());
    });
}

}  // namespace
}  // namespace zelvan_tts
