#include "platform/process_launch.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

namespace zelvan_tts {

namespace {

// Appends `arg` so that the C runtime's parser of the child gives it back
// unchanged: quotes around it when it has blanks or quotes, a backslash
// before each quote, and backslashes doubled where they end up before one.
void append_quoted(const std::wstring& arg, std::wstring& line) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    for (auto it = arg.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != arg.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == arg.end()) {
            line.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        line += *it;
    }
    line += L'"';
}

}  // namespace

bool launch_detached(const std::filesystem::path& program, const std::vector<std::string>& args) {
    // The program's own name is split off by quotes alone (no escapes), and a
    // file name cannot hold a quote.
    std::wstring line = L"\"" + program.native() + L"\"";
    for (const std::string& arg : args) {
        line += L' ';
        append_quoted(widen(arg), line);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // A console of its own that is never shown, and a process group of its
    // own, so that the caller's Ctrl-C does not reach it.
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// No command-line player is looked for on Windows: the programs that feed
// one (aplay, paplay) are Linux programs.
std::optional<std::filesystem::path> find_program(const std::string&) { return std::nullopt; }

std::optional<PipedProcess> launch_with_input(const std::vector<std::string>&) {
    return std::nullopt;
}

bool write_input(const PipedProcess&, const std::uint8_t*, std::size_t) { return false; }
void close_input(PipedProcess& process) { process.input = -1; }
void terminate_process(const PipedProcess&) {}

bool wait_process(PipedProcess& process) {
    process.id = -1;
    return false;
}

}  // namespace zelvan_tts
