#pragma once
// A name that keeps trading places with a link to a pipe while a writer waits on the pipe: if
// anything opens the pipe for reading through the name, the writer goes on, and wentThrough()
// says so. The pipe is never read by the harness itself, so only the code under test can let the
// writer go.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace tallymere::test {

class PipeSwap {
public:
    // `name` trades places with a link to a pipe made in `folder`.
    PipeSwap(const std::string& folder, const std::string& name)
        : fifo_(folder + "/pipe"), decoy_(folder + "/decoy"), name_(name) {
        made_ = ::mkfifo(fifo_.c_str(), 0600) == 0 && ::symlink(fifo_.c_str(), decoy_.c_str()) == 0;
        if (!made_) return;
        writer_ = std::thread([this] {
            const int fd = ::open(fifo_.c_str(), O_WRONLY | O_CLOEXEC); // waits for a reader
            went_ = true;
            if (fd >= 0) ::close(fd);
        });
        swapper_ = std::thread([this] {
            while (!stop_.load()) ::renameat2(AT_FDCWD, name_.c_str(), AT_FDCWD, decoy_.c_str(), RENAME_EXCHANGE);
        });
    }

    ~PipeSwap() { finish(); }

    bool made() const { return made_; }
    bool wentThrough() const { return went_.load(); }

    // Stops the swapping and lets the writer go; says whether anything had opened the pipe.
    bool finish() {
        if (!made_ || finished_) return went_.load();
        finished_ = true;
        stop_ = true;
        swapper_.join();
        const bool went = went_.load();
        const int reader = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        writer_.join();
        if (reader >= 0) ::close(reader);
        return went;
    }

private:
    std::string fifo_, decoy_, name_;
    bool made_ = false, finished_ = false;
    std::atomic<bool> went_{false}, stop_{false};
    std::thread writer_, swapper_;
};

} // namespace tallymere::test
