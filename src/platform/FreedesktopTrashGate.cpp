// The Trash's side of the gate: a move or a look at an item whose way passes a mount that may not
// answer is handed to a gate helper, which makes it with the code of FreedesktopTrash*.cpp.
#include "platform/FreedesktopTrashParts.h"

#include "base/PathText.h"
#include "platform/PathGate.h"
#include "platform/Places.h"
#include "platform/gate/GateHelpers.h"
#include "platform/gate/GateOps.h"
#include "platform/gate/MountPlace.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace tallymere::FreedesktopTrash {
namespace {

std::string encoded(const Identity& identity) {
    return std::to_string(static_cast<int>(identity.kind)) + " " + std::to_string(identity.inodeTag) + " " +
           std::to_string(identity.created);
}

std::optional<Identity> decoded(const std::string& text) {
    int kind = 0;
    unsigned tag = 0;
    long long created = 0;
    if (std::sscanf(text.c_str(), "%d %u %lld", &kind, &tag, &created) != 3 || kind < 0 || kind > 2 || tag > 255)
        return std::nullopt;
    return Identity{.kind = static_cast<Identity::Kind>(kind), .inodeTag = static_cast<std::uint8_t>(tag), .created = created};
}

gate::Request requestFor(gate::Op op, const std::string& path, const Identity* expected) {
    gate::Request request;
    request.op = op;
    request.texts.push_back(path);
    request.texts.push_back(expected ? encoded(*expected) : std::string());
    return request;
}

// The words for a call the gate could not get made: its file system did not answer.
std::string gateMessage(const gate::Reply& reply) { return PathGate::message(reply.error); }

// Made here where the item's way passes only mounts that answer (the move follows no link, so its
// text tells which); else made by a gate helper, which is handed the places written out.
Result moveThroughGate(const std::string& path, const PlaceRegistry& places, const Identity* expected) {
    const std::string absolute = PathText::standardized(path);
    if (gate::makesCallsDirectly() || absolute.empty() || gate::unansweringMountOnTheWay(absolute).empty())
        return moveChecked(path, places, expected);
    gate::provideTrashCalls();
    gate::Request request = requestFor(gate::Op::moveToTrash, path, expected);
    request.texts.push_back(Places::written(places));
    const gate::Reply reply = gate::call(std::move(request));
    if (reply.error) return failure(gateMessage(reply));
    if (reply.texts.size() != 2) return failure(systemMessage(EIO));
    return {.moved = reply.texts[0] == "moved", .error = reply.texts[1]};
}

} // namespace

Result moveToTrash(const std::string& path) {
    return moveThroughGate(path, Places::lookAt(Places::Sources::current()), nullptr);
}

Result moveToTrash(const std::string& path, const Identity& expected) {
    return moveThroughGate(path, Places::lookAt(Places::Sources::current()), &expected);
}

Result moveToTrash(const std::string& path, const PlaceRegistry& places, const Identity* expected) {
    return moveThroughGate(path, places, expected);
}

std::optional<std::string> whyChanged(const std::string& path, const Identity& expected) {
    gate::provideTrashCalls();
    const gate::Reply reply = gate::call(requestFor(gate::Op::whyChanged, path, &expected));
    if (reply.error) return gateMessage(reply);
    if (reply.texts.empty()) return std::nullopt;
    return reply.texts.front();
}

} // namespace tallymere::FreedesktopTrash

namespace tallymere::gate {

namespace {

Reply moveToTrashHere(const Request& request) {
    using namespace FreedesktopTrash;
    Reply reply;
    std::optional<Identity> expected;
    std::optional<PlaceRegistry> places;
    if (request.texts.size() != 3 || (!request.texts[1].empty() && !(expected = decoded(request.texts[1]))) ||
        !(places = Places::readBack(request.texts[2]))) {
        reply.error = EINVAL;
        return reply;
    }
    const Result result = moveChecked(request.texts[0], *places, expected ? &*expected : nullptr);
    reply.texts = {result.moved ? "moved" : "stayed", result.error};
    return reply;
}

Reply whyChangedHere(const Request& request) {
    using namespace FreedesktopTrash;
    Reply reply;
    std::optional<Identity> expected;
    if (request.texts.size() < 2 || !(expected = decoded(request.texts[1]))) {
        reply.error = EINVAL;
        return reply;
    }
    if (std::optional<std::string> why = FreedesktopTrash::whyChangedHere(request.texts[0], *expected))
        reply.texts.push_back(std::move(*why));
    return reply;
}

} // namespace

void provideTrashCalls() {
    provide(Op::moveToTrash, &moveToTrashHere);
    provide(Op::whyChanged, &whyChangedHere);
}

} // namespace tallymere::gate
