// The built zelvan_tts_config in a real window: a private X server (Xvfb),
// keys sent with xdotool, screenshots taken with ImageMagick's import and
// read back with tesseract. Missing tools make these tests fail, not skip:
// scripts/install-deps installs them.

#include "config_dialog/settings_dialog.h"
#include "platform/named_signal.h"
#include "platform/object_names.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Last: Xlib defines macros (None, Bool, Status) that other headers trip over.
#include <X11/Xlib.h>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Generous: a loaded CI machine may take long to start a server or a program.
constexpr auto kDeadline = std::chrono::seconds(60);
constexpr auto kPollInterval = std::chrono::milliseconds(100);

// Variables for a child: a value sets one, nullopt removes it.
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// A started program, killed and reaped on every path that leaves it running.
class ChildProcess {
public:
    // stdout_fd and stderr_fd (when not -1) become the child's 1 and 2;
    // inherit_fd stays open in the child under its own number.
    ChildProcess(const std::vector<std::string>& argv, const EnvChanges& env, int stdout_fd = -1,
                 int stderr_fd = -1, int inherit_fd = -1) {
        pid_ = fork();
        if (pid_ != 0) return;
        for (const auto& [name, value] : env) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        const int null_fd = open("/dev/null", O_RDWR);
        dup2(null_fd, 0);
        dup2(stdout_fd != -1 ? stdout_fd : null_fd, 1);
        dup2(stderr_fd != -1 ? stderr_fd : null_fd, 2);
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != inherit_fd) close(fd);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    bool running() const { return pid_ > 0 && !status_; }

    // The exit code, or nullopt when the program is still running at the
    // deadline (or ended by a signal).
    std::optional<int> wait_for_exit(Clock::duration timeout) {
        const auto deadline = Clock::now() + timeout;
        while (running()) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                break;
            }
            if (Clock::now() > deadline) return std::nullopt;
            std::this_thread::sleep_for(kPollInterval);
        }
        if (!status_ || !WIFEXITED(*status_)) return std::nullopt;
        return WEXITSTATUS(*status_);
    }

    // Refreshes running(): true while the program has not exited.
    bool still_running() {
        wait_for_exit(Clock::duration::zero());
        return running();
    }

    // Asks first, so that an X server removes its socket and lock file.
    void stop() {
        if (!running()) return;
        kill(pid_, SIGTERM);
        if (wait_for_exit(std::chrono::seconds(10)) || !running()) return;
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        status_ = status;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

struct ToolResult {
    std::optional<int> exit_code;  // nullopt: killed at the deadline
    std::string out;               // standard output
    std::string err;               // standard error
};

// Runs a tool to its end (or kills it at the deadline) and collects its output.
ToolResult run_tool(const std::vector<std::string>& argv, const EnvChanges& env = {}) {
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0) return {};
    if (pipe(err_pipe) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        return {};
    }
    ChildProcess child(argv, env, out_pipe[1], err_pipe[1]);
    close(out_pipe[1]);
    close(err_pipe[1]);

    ToolResult result;
    std::string* sinks[] = {&result.out, &result.err};
    pollfd fds[] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    const auto deadline = Clock::now() + kDeadline;
    int open_count = 2;
    while (open_count > 0 && Clock::now() < deadline) {
        if (poll(fds, 2, 200) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
    }
    result.exit_code = child.wait_for_exit(deadline - Clock::now());
    return result;
}

bool on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

std::string read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string settings_text(bool accentor, bool homosolver) {
    return std::string("{\n  \"enable_accentor\": ") + (accentor ? "true" : "false") +
           ",\n  \"enable_homosolver\": " + (homosolver ? "true" : "false") +
           ",\n  \"enable_reading\": true\n}\n";
}

// Text as tesseract reads it, with every run of white space made one blank.
std::string single_spaced(const std::string& text) {
    std::string result;
    for (const char c : text) {
        const bool space = c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f';
        if (!space) {
            result += c;
        } else if (!result.empty() && result.back() != ' ') {
            result += ' ';
        }
    }
    return result;
}

// One X server per test, the dialog program on it, and the tools that
// drive it.
class DialogWindow : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool", "import", "tesseract"}) {
            ASSERT_TRUE(on_path(tool)) << tool << " is missing: run scripts/install-deps";
        }
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        artifacts_ = fs::current_path() / "artifacts";
        fs::create_directories(artifacts_);
        stderr_file_ = artifacts_ / (name + ".stderr.txt");
        config_ = fs::temp_directory_path() / ("zelvan dialog window " + std::to_string(getpid()));
        fs::remove_all(config_);
        fs::create_directories(config_);
        signal_ = NamedSignal::create_or_open(object_name(NamedObject::ConfigChanged));
        ASSERT_NE(signal_, nullptr);
        while (signal_->test_and_consume()) {
        }
        start_x_server();
    }

    void TearDown() override {
        program_.reset();
        x_server_.reset();
        while (signal_ && signal_->test_and_consume()) {
        }
        fs::remove_all(config_);
    }

    // Xvfb picks a free display itself and writes its number to a pipe
    // once it accepts connections.
    void start_x_server() {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        x_server_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                                     "1280x800x24", "-nolisten", "tcp"},
            EnvChanges{}, -1, -1, ready[1]);
        close(ready[1]);
        std::string number;
        const auto deadline = Clock::now() + kDeadline;
        pollfd fd{ready[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
            if (poll(&fd, 1, 200) <= 0) continue;
            char buffer[32];
            const ssize_t n = read(ready[0], buffer, sizeof buffer);
            if (n <= 0) break;
            number.append(buffer, static_cast<size_t>(n));
        }
        close(ready[0]);
        ASSERT_NE(number.find('\n'), std::string::npos) << "Xvfb did not start";
        display_ = ":" + number.substr(0, number.find('\n'));
    }

    fs::path settings_file() const { return config_ / "ZelvanTTS" / "config.json"; }

    void write_settings(const std::string& content) const {
        fs::create_directories(settings_file().parent_path());
        std::ofstream(settings_file(), std::ios::binary) << content;
    }

    // Starts the dialog and waits for its window; window_ is its X id.
    void open_dialog() {
        const int err = open(stderr_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_NE(err, -1);
        program_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{ZELVAN_TTS_CONFIG_PROGRAM},
            EnvChanges{
                {"DISPLAY", display_},
                {"WAYLAND_DISPLAY", std::nullopt},
                {"GDK_BACKEND", "x11"},
                {"XDG_CONFIG_HOME", config_.string()},
                // Twice the size reads back reliably.
                {"GDK_SCALE", "2"},
                // No accessibility bus or settings daemon on the test's server.
                {"NO_AT_BRIDGE", "1"},
                {"GSETTINGS_BACKEND", "memory"},
            },
            -1, err);
        close(err);
        ASSERT_TRUE(program_->started());

        const auto deadline = Clock::now() + kDeadline;
        while (window_.empty()) {
            ASSERT_TRUE(program_->still_running())
                << "the dialog ended before showing its window:\n"
                << read_text(stderr_file_);
            ASSERT_LT(Clock::now(), deadline) << "no dialog window appeared";
            const std::string title = std::string("^") + kDialogTitle + "$";
            const ToolResult found = xdotool({"search", "--onlyvisible", "--name", title.c_str()});
            if (found.exit_code == 0 && !found.out.empty()) {
                window_ = found.out.substr(0, found.out.find('\n'));
            } else {
                std::this_thread::sleep_for(kPollInterval);
            }
        }
    }

    ToolResult xdotool(std::vector<std::string> args) const {
        args.insert(args.begin(), "xdotool");
        return run_tool(args, {{"DISPLAY", display_}});
    }

    // Keys as typed by the user into the dialog, which gets the keyboard
    // focus first (there is no window manager to give it).
    void type_keys(const std::vector<std::string>& keys) const {
        const ToolResult focus = xdotool({"windowfocus", window_});
        ASSERT_EQ(focus.exit_code, 0) << focus.err;
        std::vector<std::string> args{"key"};
        args.insert(args.end(), keys.begin(), keys.end());
        const ToolResult typed = xdotool(args);
        ASSERT_EQ(typed.exit_code, 0) << typed.err;
    }

    // What a window manager sends when the user clicks the close box.
    void click_close_box() const {
        Display* x = XOpenDisplay(display_.c_str());
        ASSERT_NE(x, nullptr);
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = std::stoul(window_);
        event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x, event.xclient.window, False, NoEventMask, &event);
        XSync(x, False);
        XCloseDisplay(x);
    }

    // Saves the window's picture as an artefact and returns its text.
    std::string screenshot(const fs::path& file) const {
        const ToolResult shot =
            run_tool({"import", "-window", window_, file.string()}, {{"DISPLAY", display_}});
        EXPECT_EQ(shot.exit_code, 0) << shot.err;
        const ToolResult ocr = run_tool({"tesseract", file.string(), "stdout"});
        EXPECT_EQ(ocr.exit_code, 0) << ocr.err;
        return single_spaced(ocr.out);
    }

    // Takes pictures of the window until all the texts show (the window may
    // not be drawn yet, or not redrawn), keeping the last as an artefact.
    // Returns the text read from it.
    std::string wait_for_texts(const std::string& file_name,
                               const std::vector<std::string>& texts) {
        const auto deadline = Clock::now() + kDeadline;
        while (true) {
            const std::string shown = screenshot(artifacts_ / file_name);
            std::string missing;
            for (const std::string& text : texts) {
                if (shown.find(text) == std::string::npos) missing += "\n  " + text;
            }
            if (missing.empty() || Clock::now() > deadline || !program_->still_running()) {
                EXPECT_EQ(missing, "")
                    << "missing in " << file_name << ", which shows\n  " << shown;
                return shown;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
    }

    // Exit code of the program, which must end within the deadline.
    int exit_code() {
        const std::optional<int> code = program_->wait_for_exit(kDeadline);
        EXPECT_TRUE(code.has_value()) << "the dialog did not close";
        return code.value_or(-1);
    }

    fs::path artifacts_;
    fs::path stderr_file_;
    fs::path config_;
    std::string display_;
    std::string window_;
    std::unique_ptr<NamedSignal> signal_;
    std::unique_ptr<ChildProcess> x_server_;
    std::unique_ptr<ChildProcess> program_;
};

TEST_F(DialogWindow, ShowsItsTextsAndSavesFromTheKeyboard) {
    ASSERT_NO_FATAL_FAILURE(open_dialog());
    const ToolResult title = xdotool({"getwindowname", window_});
    EXPECT_EQ(title.out, std::string(kDialogTitle) + "\n");

    const std::string shown = wait_for_texts(
        "dialog.png",
        {kGroupText, kAccentorText, kHomosolverText, kReadingText, kNoteText, kSaveText, kCancelText});
    EXPECT_EQ(shown.find("Error"), std::string::npos) << shown;

    // The focus starts on the first box: Space unchecks it, Enter saves.
    ASSERT_NO_FATAL_FAILURE(type_keys({"space", "Return"}));
    EXPECT_EQ(exit_code(), 0);
    EXPECT_EQ(read_text(settings_file()), settings_text(false, true));
    EXPECT_TRUE(signal_->test_and_consume()) << "running engines must be told";
}

// The boxes start from the file, each from its own member.
TEST_F(DialogWindow, StartsFromTheFileAndTabReachesTheSecondBox) {
    write_settings(R"({"enable_homosolver": true, "enable_accentor": false})");
    ASSERT_NO_FATAL_FAILURE(open_dialog());
    ASSERT_NO_FATAL_FAILURE(type_keys({"Tab", "space", "Return"}));
    EXPECT_EQ(exit_code(), 0);
    EXPECT_EQ(read_text(settings_file()), settings_text(false, false));
    EXPECT_TRUE(signal_->test_and_consume());
}

TEST_F(DialogWindow, EscapeAndTheCloseBoxCancelWithoutWriting) {
    ASSERT_NO_FATAL_FAILURE(open_dialog());
    ASSERT_NO_FATAL_FAILURE(type_keys({"space", "Escape"}));
    EXPECT_EQ(exit_code(), 0);

    window_.clear();
    ASSERT_NO_FATAL_FAILURE(open_dialog());
    ASSERT_NO_FATAL_FAILURE(type_keys({"space"}));
    ASSERT_NO_FATAL_FAILURE(click_close_box());
    EXPECT_EQ(exit_code(), 0);

    EXPECT_FALSE(fs::exists(settings_file()));
    EXPECT_FALSE(signal_->test_and_consume());
}

TEST_F(DialogWindow, FailedSaveKeepsTheWindowOpenWithTheErrorLine) {
    // The settings folder is a file, so nothing can be written in it.
    std::ofstream(config_ / "ZelvanTTS") << "in the way";
    ASSERT_NO_FATAL_FAILURE(open_dialog());
    ASSERT_NO_FATAL_FAILURE(type_keys({"Return"}));

    const std::string shown =
        wait_for_texts("dialog_save_failed.png", {kSaveFailedText, kAccentorText, kHomosolverText});
    ASSERT_NE(shown.find(kSaveFailedText), std::string::npos);
    ASSERT_TRUE(program_->still_running()) << "a failed save must keep the dialog open";
    EXPECT_FALSE(signal_->test_and_consume()) << "nothing was saved";

    // The cause removed, Save again writes the file and closes the dialog.
    fs::remove(config_ / "ZelvanTTS");
    ASSERT_NO_FATAL_FAILURE(type_keys({"Return"}));
    EXPECT_EQ(exit_code(), 0);
    EXPECT_EQ(read_text(settings_file()), settings_text(true, true));
    EXPECT_TRUE(signal_->test_and_consume());
}

TEST(DialogProgram, RefusesToRunWithoutADisplayOrWithArguments) {
    const EnvChanges no_display{{"DISPLAY", std::nullopt},
                                {"WAYLAND_DISPLAY", std::nullopt},
                                {"GDK_BACKEND", std::nullopt}};
    const ToolResult headless = run_tool({ZELVAN_TTS_CONFIG_PROGRAM}, no_display);
    EXPECT_EQ(headless.exit_code, 1);
    EXPECT_NE(headless.err.find("cannot open a display"), std::string::npos) << headless.err;

    const ToolResult with_argument = run_tool({ZELVAN_TTS_CONFIG_PROGRAM, "--x"}, no_display);
    EXPECT_EQ(with_argument.exit_code, 1);
    EXPECT_NE(with_argument.err.find("takes no arguments"), std::string::npos) << with_argument.err;
}

}  // namespace
}  // namespace zelvan_tts
