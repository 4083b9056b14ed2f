#pragma once
#include <chrono>
#include <string>
#include <vector>

namespace tallymere {

// What one run of an external program left behind.
struct CommandOutput {
    enum class Status {
        finished,    // the program ran and closed its output (any exit status)
        notStarted,  // the program could not be started
        timedOut,    // the program was still running at the deadline and was killed
    };
    Status status = Status::notStarted;
    std::string text; // standard output as read, raw bytes; empty unless finished
    friend bool operator==(const CommandOutput&, const CommandOutput&) = default;
};

namespace CommandRunner {

// Runs `argv` (argv[0] an absolute program path, never looked up on PATH) with standard input and
// standard error on /dev/null, reads its standard output to the end and reaps it. A program that
// has not closed its output within `timeout` is killed and its output dropped, so a hung program
// never holds the caller longer than the time-out. Output beyond `limit` bytes is read and
// dropped. Numbers are printed with "." as decimal mark (LC_NUMERIC=C); everything else of the
// environment is passed on. Blocks the calling thread: call it from a worker.
CommandOutput run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                  std::size_t limit = 16u << 20);

} // namespace CommandRunner

} // namespace tallymere
