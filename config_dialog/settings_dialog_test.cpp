#include "config_dialog/settings_dialog.h"

#include "core/settings.h"
#include "platform/named_signal.h"
#include "platform/named_signal_cleanup.h"
#include "platform/object_names.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/app_data.h"
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        // The roaming folder cannot be moved for one process: the tests use
        // the real one and keep the user's settings aside meanwhile.
        const auto app_data = app_data_dir();
        ASSERT_TRUE(app_data.has_value());
        config_ = *app_data;
        kept_ = config_ / "ZelvanTTS.kept-by-test";
        if (fs::exists(config_ / "ZelvanTTS") && !fs::exists(kept_)) {
            fs::rename(config_ / "ZelvanTTS", kept_);
        }
        fs::remove_all(config_ / "ZelvanTTS");
#else
        config_ = fs::temp_directory_path() / ("zelvan dialog " + std::to_string(getpid()));
        fs::remove_all(config_);
        fs::create_directories(config_);
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
#endif
        signal_ = NamedSignal::create_or_open(object_name(NamedObject::ConfigChanged));
        ASSERT_NE(signal_, nullptr);
        while (signal_->test_and_consume()) {
        }
    }
    void TearDown() override {
        while (signal_ && signal_->test_and_consume()) {
        }
#ifdef _WIN32
        if (config_.empty()) return;
        fs::remove_all(config_ / "ZelvanTTS");
        if (fs::exists(kept_)) fs::rename(kept_, config_ / "ZelvanTTS");
#else
        fs::remove_all(config_);
#endif
    }

    fs::path file() const { return config_ / "ZelvanTTS" / "config.json"; }

    void write_file(const std::string& content) const {
        fs::create_directories(file().parent_path());
        std::ofstream(file(), std::ios::binary) << content;
    }

    std::string read_file() const {
        std::ifstream in(file(), std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    fs::path config_;  // the application-data folder the store uses
#ifdef _WIN32
    fs::path kept_;  // where the user's settings wait for the end of the test
#endif
    std::unique_ptr<NamedSignal> signal_;
};

// The file is written in text mode: Windows line breaks are CR LF.
#ifdef _WIN32
constexpr char kLineBreak[] = "\r\n";
#else
constexpr char kLineBreak[] = "\n";
#endif

std::string file_text(bool accentor, bool homosolver) {
    return std::string("{") + kLineBreak +
           "  \"enable_accentor\": " + (accentor ? "true" : "false") + "," + kLineBreak +
           "  \"enable_homosolver\": " + (homosolver ? "true" : "false") + "," + kLineBreak +
           "  \"enable_reading\": true" + kLineBreak + "}" + kLineBreak;
}

TEST_F(SettingsDialog, OpensWithTheSettingsInTheFile) {
    struct Case {
        const char* name;
        const char* content;  // nullptr: no file
        bool accentor, homosolver;
    };
    const Case cases[] = {
        {"no file", nullptr, true, true},
        {"accentor off", R"({"enable_accentor": false})", false, true},
        {"homosolver off", R"({"enable_homosolver": false})", true, false},
        {"both off", R"({"enable_accentor": false, "enable_homosolver": false})", false, false},
        {"malformed", R"({"enable_accentor": false,)", true, true},
    };
    for (const Case& c : cases) {
        fs::remove_all(config_ / "ZelvanTTS");
        if (c.content != nullptr) write_file(c.content);
        SettingsStore store;
        const SettingsDialogState state = open_settings_dialog(store);
        EXPECT_EQ(state.accentor_checked, c.accentor) << c.name;
        EXPECT_EQ(state.homosolver_checked, c.homosolver) << c.name;
        EXPECT_EQ(state.status, "") << c.name;
        EXPECT_EQ(fs::exists(file()), c.content != nullptr) << c.name << ": opening never writes";
    }
}

// A save made by another copy of the dialog after this process's store was
// created is what the dialog must show, not the store's first reading.
TEST_F(SettingsDialog, OpensWithAChangeSignalledAfterTheStoreWasCreated) {
    SettingsStore store;
    SettingsStore other;
    ASSERT_TRUE(other.save({false, false}));
    const SettingsDialogState state = open_settings_dialog(store);
    EXPECT_FALSE(state.accentor_checked);
    EXPECT_FALSE(state.homosolver_checked);
    EXPECT_FALSE(signal_->test_and_consume()) << "opening consumes the pending signal";
}

TEST_F(SettingsDialog, SaveWritesEachBoxToItsOwnMemberAndSignals) {
    for (const bool accentor : {true, false}) {
        for (const bool homosolver : {true, false}) {
            SCOPED_TRACE(testing::Message() << accentor << homosolver);
            fs::remove_all(config_ / "ZelvanTTS");
            SettingsStore store;
            SettingsDialogState state = open_settings_dialog(store);
            state.accentor_checked = accentor;
            state.homosolver_checked = homosolver;
            EXPECT_TRUE(save_settings_dialog(state, store));
            EXPECT_EQ(state.status, "");
            EXPECT_EQ(read_file(), file_text(accentor, homosolver));
            EXPECT_TRUE(signal_->test_and_consume());
            const RuntimeSettings reread = load_settings_file();
            EXPECT_EQ(reread.enable_accentor, accentor);
            EXPECT_EQ(reread.enable_homosolver, homosolver);
        }
    }
    // The third box, and a dialog opened on it shows it unchecked.
    SettingsStore store;
    SettingsDialogState state = open_settings_dialog(store);
    state.reading_checked = false;
    EXPECT_TRUE(save_settings_dialog(state, store));
    EXPECT_FALSE(load_settings_file().enable_reading);
    EXPECT_FALSE(open_settings_dialog(store).reading_checked);
}

TEST_F(SettingsDialog, SavingUnchangedBoxesStillRewritesTheFileAndSignals) {
    write_file("\xEF\xBB\xBF{ \"other\": 1,\r\n\"enable_homosolver\": false }");
    SettingsStore store;
    SettingsDialogState state = open_settings_dialog(store);
    EXPECT_TRUE(save_settings_dialog(state, store));
    EXPECT_EQ(read_file(), file_text(true, false));
    EXPECT_TRUE(signal_->test_and_consume());
}

TEST_F(SettingsDialog, FailedSaveShowsTheErrorUntilTheDialogCloses) {
    SettingsStore store;
    SettingsDialogState state = open_settings_dialog(store);
    state.accentor_checked = false;

    // The settings folder is a file: nothing can be written below it, not
    // even by root.
    std::ofstream(config_ / "ZelvanTTS") << "in the way";
    EXPECT_FALSE(save_settings_dialog(state, store));
    EXPECT_EQ(state.status, "Error: could not save settings.");
    EXPECT_FALSE(signal_->test_and_consume()) << "a failed save must not signal";
    EXPECT_TRUE(store.current().enable_accentor) << "a failed save keeps the old settings";

#ifndef _WIN32
    // No application-data folder at all (which a test cannot bring about for
    // one process on Windows).
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    state.status.clear();
    EXPECT_FALSE(save_settings_dialog(state, store));
    EXPECT_EQ(state.status, kSaveFailedText);
    if (!home.empty()) setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
#endif

    // The cause removed, the next Save succeeds with the boxes as they are.
    fs::remove(config_ / "ZelvanTTS");
    EXPECT_TRUE(save_settings_dialog(state, store));
    EXPECT_EQ(read_file(), file_text(false, true));
    EXPECT_TRUE(signal_->test_and_consume());
    EXPECT_EQ(state.status, kSaveFailedText) << "the error line stays until the dialog closes";
}

}  // namespace
}  // namespace zelvan_tts
