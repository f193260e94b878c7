// The other process of platform_test on Windows. Takes a command and its
// arguments and answers with its exit code (or a file):
//   signal NAME      0 when the named signal was set (and consumes it), 1 when not
//   lock NAME        0 when the instance lock was taken, 2 when held elsewhere
//   args FILE ARG... writes each ARG as UTF-8 followed by a NUL into FILE
//   console          hides the console window: 0 when it was visible before
//                    and is not after, 4 when there is no window to hide
// 3 means the command could not run at all.
#include "platform/console_window.h"
#include "platform/local_pipe.h"
#include "platform/named_signal.h"
#include "platform/utf8_path.h"

#include <windows.h>

#include <shellapi.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> utf8_arguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(zelvan_tts::path_to_utf8(wide[i]));
    LocalFree(wide);
    return args;
}

}  // namespace

int main() {
    using namespace zelvan_tts;
    const std::vector<std::string> args = utf8_arguments();
    if (args.size() < 2) return 3;
    const std::string& command = args[1];
    if (command == "signal" && args.size() == 3) {
        const auto signal = NamedSignal::create_or_open(args[2]);
        if (!signal) return 3;
        return signal->test_and_consume() ? 0 : 1;
    }
    if (command == "lock" && args.size() == 3) {
        bool held_elsewhere = false;
        const auto lock = InstanceLock::acquire(args[2], held_elsewhere);
        return lock ? 0 : held_elsewhere ? 2 : 1;
    }
    if (command == "args" && args.size() >= 3) {
        // Written beside the target and renamed, so the reader never sees half.
        const std::filesystem::path target = path_from_utf8(args[2]);
        std::filesystem::path temp = target;
        temp += ".part";
        {
            std::ofstream out(temp, std::ios::binary);
            for (std::size_t i = 3; i < args.size(); ++i) out << args[i] << '\0';
            if (!out) return 3;
        }
        std::error_code ec;
        std::filesystem::rename(temp, target, ec);
        return ec ? 3 : 0;
    }
    if (command == "console") {
        const HWND window = GetConsoleWindow();
        if (window == nullptr || !IsWindowVisible(window)) return 4;
        hide_console_window();
        return IsWindowVisible(window) ? 1 : 0;
    }
    return 3;
}
