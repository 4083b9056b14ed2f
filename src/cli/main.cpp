// The program users start. The command-line modes run here, in a small process that loads none of
// the window's libraries (toolkit, desktop, Unicode and digest libraries cost more to load than a
// small scan takes); anything else hands the process over to the window program beside this one.
#include "cli/CLI.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* windowProgram = "tallymere-window";

constexpr const char* ownRecord = "/proc/self/exe";

// The folder this program lives in, from the kernel's own record of the executable; empty, with
// `error` set, when that record cannot be read (no /proc) or names no folder.
std::string ownFolder(int& error) {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink(ownRecord, path.data(), path.size());
    if (length < 0) {
        error = errno;
        return {};
    }
    if (length == 0 || static_cast<std::size_t>(length) >= path.size() || path.front() != '/') {
        error = ENAMETOOLONG;
        return {};
    }
    path.resize(static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/'));
}

} // namespace

int main(int argc, char** argv) {
    tallymere::CLI::runIfRequested(argc, argv);
    // Without its own folder the window program's place is unknown: a guess could start anything.
    int error = 0;
    const std::string folder = ownFolder(error);
    if (folder.empty() && error != 0) {
        std::fprintf(stderr, "tallymere: cannot find the folder this program is in, which holds %s (%s: %s)\n", windowProgram,
                     ownRecord, std::strerror(error));
        return 1;
    }
    // The same process, same arguments (argv[0] included), same environment: only the image changes.
    const std::string window = folder + '/' + windowProgram;
    ::execv(window.c_str(), argv);
    std::fprintf(stderr, "tallymere: cannot start the window program %s: %s\n", window.c_str(), std::strerror(errno));
    return 1;
}
