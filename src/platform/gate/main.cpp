// tallymere-gate: makes, one at a time, the calls the program hands it on its channel (descriptor
// 3), and answers each there. It is started for calls on mounts that may stop answering: one that
// never returns holds this small process, and the program, which waits for it at most the gate's
// bound, goes on and can always end.
#include "platform/gate/GateHelpers.h"
#include "platform/gate/GateOps.h"
#include "platform/gate/GateWire.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

constexpr int channel = 3;

bool receive(std::string& pending, std::string& message) {
    for (;;) {
        const std::uint64_t length = tallymere::gate::frameLength(pending);
        if (pending.size() >= 8 && length > tallymere::gate::largestFrame) return false;
        if (pending.size() >= 8 && pending.size() - 8 >= length) {
            message = pending.substr(8, length);
            pending.erase(0, 8 + length);
            return true;
        }
        char buffer[65536];
        const ssize_t n = ::recv(channel, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

bool sendAll(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(channel, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main() {
    // Nothing of the program's but the channel: a helper left blocked keeps no file of its open.
    ::close_range(channel + 1, ~0U, 0);
    ::signal(SIGPIPE, SIG_IGN);
    tallymere::gate::makeCallsDirectly();
    tallymere::gate::provideTrashCalls();
    tallymere::gate::provideLauncherCalls();
    std::string pending;
    std::string message;
    const tallymere::gate::SendPart sendPart = [](tallymere::gate::Reply& part) {
        return sendAll(tallymere::gate::framed(tallymere::gate::encode(part)));
    };
    while (receive(pending, message)) {
        tallymere::gate::Request request;
        tallymere::gate::Reply reply;
        if (tallymere::gate::decode(message, request)) reply = tallymere::gate::performPlainly(request, &sendPart);
        else reply.error = EINVAL;
        if (!sendAll(tallymere::gate::framed(tallymere::gate::encode(reply)))) break;
    }
    return 0;
}
