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
    beginWrite,  // a new part file beside the item, named in the reply
    writeAt,     // a stretch of bytes into a part file, flushed before the reply
    finishWrite, // the part file flushed and renamed over the item
    readFolder,  // a folder's entries, each looked at, sent in parts as they are read
};

// The last of the calls, for the check of a request's kind.
constexpr Op lastOp = Op::readFolder;

struct Request {
    Op op = Op::stat;
    std::vector<std::string> texts; // the path first, then what the call needs besides
    std::uint64_t number = 0;       // an offset, a mode
    std::uint64_t limit = 0;        // a length
};

struct Reply {
    int error = 0; // 0, an errno value, PathGate::notAnswering or PathGate::unknownOutcome
    // More frames of this reply follow (a long answer sent as it is made); the program joins their
    // texts and data in order.
    bool partial = false;
    std::vector<std::string> texts;
    std::string data; // a call's record (struct stat, struct statvfs) as the system gave it, or bytes read
};

// A reply of nothing but `error` (0 for a call that succeeded and returns nothing).
inline Reply failure(int error) {
    Reply reply;
    reply.error = error;
    return reply;
}

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
