#include "client/dictionary_command.h"

#include "core/settings.h"
#include "platform/named_signal.h"
#include "platform/object_names.h"
#include "text/user_dictionary.h"

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

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// The command in this process changes the file; an engine process that is
// already running reads the change at its next look, and only then.
TEST(DictionaryCommandTest, ChangesReachARunningEngineProcess) {
    const fs::path config = fs::temp_directory_path() / ("zelvan_dict " + std::to_string(getpid()));
    fs::remove_all(config);
    const char* const previous = getenv("XDG_CONFIG_HOME");
    const std::string kept = previous != nullptr ? previous : "";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const fs::path file = config / "ZelvanTTS" / "dictionary.txt";
    auto signal = NamedSignal::create_or_open(object_name(NamedObject::ConfigChanged));
    ASSERT_NE(signal, nullptr);
    while (signal->test_and_consume()) {
    }

    int go[2], answer[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(answer), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(go[1]);
        SettingsStore store;
        for (char byte; read(go[0], &byte, 1) == 1;) {
            const std::string heard = store.dictionary()->apply("Замок и ПО", "rus") + "\n";
            if (::write(answer[1], heard.data(), heard.size()) != ssize_t(heard.size())) _exit(3);
        }
        _exit(0);
    }
    close(go[0]);
    const auto look = [&] {
        EXPECT_EQ(::write(go[1], "g", 1), 1);
        std::string heard;
        for (char byte; read(answer[0], &byte, 1) == 1 && byte != '\n';) heard += byte;
        return heard;
    };
    std::ostringstream out, err;
    const auto dict = [&](std::vector<std::string> args) {
        return run_dictionary_command(args, out, err);
    };

    EXPECT_EQ(look(), "Замок и ПО");
    EXPECT_EQ(dict({"add", "замок", "з+амок"}), 0) << err.str();
    EXPECT_EQ(dict({"add", "ПО", "пэ", "о"}), 0) << err.str();
    EXPECT_EQ(slurp(file), "замок=з+амок\nПО=пэ о\n");
    EXPECT_EQ(look(), "З+амок и пэ о");

    // Edits keep the other lines, comments and CR LF line ends. A file
    // changed without the signal is not read again.
    std::ofstream(file, std::ios::binary) << "# mine\r\nзамок=з+амок  # door\r\nПО=пэо\r\n"
                                          << "[uk]\r\nзамок=зам+ок\r\n";
    EXPECT_EQ(look(), "З+амок и пэ о");
    EXPECT_EQ(dict({"add", "замок", "зам+ок"}), 0);
    EXPECT_EQ(dict({"remove", "ПО"}), 0);
    EXPECT_EQ(dict({"add", "--lang", "kk", "алма", "алм+а"}), 0);
    EXPECT_EQ(
        slurp(file),
        "# mine\r\nзамок=зам+ок  # door\r\n[uk]\r\nзамок=зам+ок\r\n\r\n[kk]\r\nалма=алм+а\r\n");
    EXPECT_EQ(look(), "Зам+ок и ПО");
    out.str("");
    EXPECT_EQ(dict({"list"}), 0);
    EXPECT_EQ(out.str(), "замок=зам+ок\n[ukr]\nзамок=зам+ок\n[kaz]\nалма=алм+а\n");

    EXPECT_EQ(dict({"remove", "ПО"}), 1);
    EXPECT_EQ(dict({"add", "два слова", "x"}), 2);
    EXPECT_EQ(dict({"add", "x", "y", "--lang", "xx"}), 2);
    std::ofstream(file, std::ios::app) << "без равенства\n";
    out.str("");
    EXPECT_EQ(dict({"check"}), 1);
    EXPECT_NE(out.str().find("dictionary.txt:8: "), std::string::npos) << out.str();

    close(go[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    fs::remove_all(config);
    if (previous != nullptr) {
        setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace zelvan_tts
