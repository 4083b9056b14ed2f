#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What passes between the program and a gate helper: one request, one reply, each a frame of its
// own on a stream socket (a length, then the message).
namespace tallymere::gate {

enum class Op : std::uint8_t {
    stat,
    lstat,
    readLink,
    realPath,
    statVfs,
    list,
    readFile,
    writeFile,
    rename,
    removeFile,
    makeFolder,
    moveToTrash,
    whyChanged,
    readLauncher,
    listLaunchers,
};

struct Request {
    Op op = Op::stat;
    std::vector<std::string> texts; // the path first, then what the call needs besides
    std::uint64_t number = 0;       // an offset, a mode
    std::uint64_t limit = 0;        // a length
};

struct Reply {
    int error = 0; // 0, an errno value, or PathGate::notAnswering
    std::vector<std::string> texts;
    std::string data; // a call's record (struct stat, struct statvfs) as the system gave it, or bytes read
};

// A frame larger than this is refused unread: a helper never sends one, so it is a broken channel.
constexpr std::uint64_t largestFrame = std::uint64_t{1} << 31;

std::string encode(const Request& request);
std::string encode(const Reply& reply);
// False when the bytes are no whole message of that kind.
bool decode(std::string_view bytes, Request& request);
bool decode(std::string_view bytes, Reply& reply);

// The frame around a message: its length in 8 bytes, then the message.
std::string framed(const std::string& message);
// Of the bytes received so far, the length of the first frame's message once its length has
// arrived; 0 before that.
std::uint64_t frameLength(std::string_view received);

} // namespace tallymere::gate
