#include "core/settings.h"

#include "platform/named_signal.h"
#include "platform/named_signal_cleanup.h"
#include "platform/object_names.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = fs::temp_directory_path() / ("zelvan настройки " + std::to_string(getpid()));
        fs::remove_all(config_);
        fs::create_directories(config_);
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        drain_signal();
    }
    void TearDown() override {
        drain_signal();
        fs::remove_all(config_);
    }

    // A signal left by an earlier run must not leak into this one.
    static void drain_signal() {
        auto signal = NamedSignal::create_or_open(object_name(NamedObject::ConfigChanged));
        ASSERT_NE(signal, nullptr);
        while (signal->test_and_consume()) {
        }
    }

    fs::path file() const { return config_ / "ZelvanTTS" / "config.json"; }

    void write_file(const std::string& content) const {
        fs::create_directories(file().parent_path());
        std::ofstream(file(), std::ios::binary) << content;
    }

    fs::path config_;
};

std::pair<bool, bool> flags(const RuntimeSettings& s) {
    return {s.enable_accentor, s.enable_homosolver};
}

TEST_F(Settings, PathFollowsTheConfigFolder) {
    EXPECT_EQ(settings_file_path(), file().string());
    setenv("XDG_CONFIG_HOME", "", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(settings_file_path(), "/home/someone/.config/ZelvanTTS/config.json");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    EXPECT_EQ(settings_file_path(), "");
    EXPECT_EQ(flags(load_settings_file()), std::make_pair(true, true));
}

TEST_F(Settings, ReadingStopsAtTheFirstMemberThatIsNotABoolean) {
    struct Case {
        const char* name;
        const char* content;  // nullptr: no file
        bool accentor, homosolver;
    };
    const Case cases[] = {
        {"no file", nullptr, true, true},
        {"empty object", "{}", true, true},
        {"only accentor off", R"({"enable_accentor": false})", false, true},
        {"both off", R"({"enable_homosolver": false, "enable_accentor": false})", false, false},
        {"number stops reading", R"({"enable_accentor": 0, "enable_homosolver": false})", true,
         true},
        {"string homosolver", R"({"enable_accentor": false, "enable_homosolver": "no"})", false,
         true},
        {"null accentor", R"({"enable_accentor": null, "enable_homosolver": false})", true, true},
        {"other members ignored", R"({"x": [1], "enable_homosolver": false})", true, false},
        {"array", "[false, false]", true, true},
        {"empty file", "", true, true},
        {"comment", "// off\n{\"enable_accentor\": false}", true, true},
        {"text after the object", R"({"enable_accentor": false} x)", true, true},
        {"truncated", R"({"enable_accentor": false)", true, true},
        {"BOM and CR LF",
         "\xEF\xBB\xBF{\r\n  \"enable_accentor\": false,\r\n"
         "  \"enable_homosolver\": false\r\n}\r\n",
         false, false},
        {"not UTF-8", "{\"enable_accentor\": false, \"\xFF\": 1}", true, true},
    };
    for (const Case& c : cases) {
        fs::remove_all(config_ / "ZelvanTTS");
        if (c.content != nullptr) write_file(c.content);
        EXPECT_EQ(flags(load_settings_file()), std::make_pair(c.accentor, c.homosolver)) << c.name;
    }
    // The reading switch comes after the two stages' and defaults to on, so
    // a file written before it existed reads numbers in full.
    const std::pair<const char*, bool> reading[] = {
        {R"({"enable_accentor": false, "enable_homosolver": false})", true},
        {R"({"enable_reading": false})", false},
        {R"({"enable_homosolver": 1, "enable_reading": false})", true},
    };
    for (const auto& [content, on] : reading) {
        write_file(content);
        EXPECT_EQ(load_settings_file().enable_reading, on) << content;
    }
}

TEST_F(Settings, SaveWritesTheFileAndSignalsTheChange) {
    SettingsStore writer;
    SettingsStore reader;
    EXPECT_EQ(flags(reader.current()), std::make_pair(true, true));

    ASSERT_TRUE(writer.save({true, false}));
    std::ifstream in(file(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(),
              "{\n  \"enable_accentor\": true,\n  \"enable_homosolver\": false,\n"
              "  \"enable_reading\": true\n}\n");
    EXPECT_EQ(flags(writer.current()), std::make_pair(true, false));

    // The writer's own look consumed the one signal: the reader keeps its copy.
    EXPECT_EQ(flags(reader.current()), std::make_pair(true, true));

    // Saving twice leaves one signal, taken by the first look only.
    ASSERT_TRUE(writer.save({false, false}));
    ASSERT_TRUE(writer.save({false, true}));
    EXPECT_EQ(flags(reader.current()), std::make_pair(false, true));
    write_file(R"({"enable_accentor": true, "enable_homosolver": true})");
    EXPECT_EQ(flags(reader.current()), std::make_pair(false, true)) << "no signal, no reload";

    // A new store reads the file when it is created.
    EXPECT_EQ(flags(SettingsStore().current()), std::make_pair(true, true));
}

TEST_F(Settings, FailedSaveChangesNothing) {
    SettingsStore store;
    ASSERT_TRUE(store.save({false, true}));
    SettingsStore other;
    other.current();  // consume

    // The settings folder is a file: nothing can be written below it.
    fs::remove_all(config_ / "ZelvanTTS");
    std::ofstream(config_ / "ZelvanTTS") << "in the way";
    EXPECT_FALSE(store.save({true, false}));
    EXPECT_EQ(flags(store.current()), std::make_pair(false, true));
    auto signal = NamedSignal::create_or_open(object_name(NamedObject::ConfigChanged));
    EXPECT_FALSE(signal->test_and_consume()) << "a failed save must not signal";

    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    EXPECT_FALSE(store.save({true, true}));
    EXPECT_EQ(flags(store.current()), std::make_pair(false, true));
}

// Each child builds its store before the save, waits, then takes one look.
TEST_F(Settings, OneSignalIsConsumedByExactlyOneOfTwoProcesses) {
    constexpr int kChildren = 2;
    int ready[2], go[kChildren][2], answer[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(answer), 0);
    pid_t pids[kChildren];
    for (int k = 0; k < kChildren; ++k) {
        ASSERT_EQ(pipe(go[k]), 0);
        pids[k] = fork();
        ASSERT_GE(pids[k], 0);
        if (pids[k] == 0) {
            SettingsStore store;
            char byte = 'r';
            if (::write(ready[1], &byte, 1) != 1 || read(go[k][0], &byte, 1) != 1) _exit(3);
            byte = store.current().enable_accentor ? '1' : '0';
            _exit(::write(answer[1], &byte, 1) == 1 ? 0 : 3);
        }
    }
    char byte;
    for (int k = 0; k < kChildren; ++k) ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_TRUE(SettingsStore().save({false, true}));

    int switched = 0;
    for (int k = 0; k < kChildren; ++k) {
        ASSERT_EQ(::write(go[k][1], "g", 1), 1);
        ASSERT_EQ(read(answer[0], &byte, 1), 1);
        switched += byte == '0' ? 1 : 0;
        int status = 0;
        waitpid(pids[k], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(switched, 1);
}

}  // namespace
}  // namespace zelvan_tts
