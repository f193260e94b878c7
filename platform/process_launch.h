// Starting programs: a server in the background, detached from the caller's
// console, or a player fed through a pipe to its standard input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zelvan_tts {

// Starts `program` with `args` in a session of its own, with standard input
// and output going nowhere; does not wait for it. False when it could not
// be started.
bool launch_detached(const std::filesystem::path& program, const std::vector<std::string>& args);

// The file `name` in the first folder of the search path that holds it as a
// program; nullopt when none does.
std::optional<std::filesystem::path> find_program(const std::string& name);

// A program started with a pipe to its standard input. Its standard output
// and error stay the caller's.
struct PipedProcess {
    std::int64_t id = -1;  // the process; -1 once waited for
    int input = -1;        // the write end of its standard input; -1 once closed
};

// Starts `command` (program path first). Writing to a process that has quit
// fails rather than ending the caller. nullopt when it could not be started.
std::optional<PipedProcess> launch_with_input(const std::vector<std::string>& command);

// Writes all `count` bytes to the process's input; false when it stopped
// taking them.
bool write_input(const PipedProcess& process, const std::uint8_t* bytes, std::size_t count);

// Closes the input: the end of it tells the process to finish.
void close_input(PipedProcess& process);

// Asks the process to stop now.
void terminate_process(const PipedProcess& process);

// Waits for the process to end; true when it exited with code 0.
bool wait_process(PipedProcess& process);

}  // namespace zelvan_tts
