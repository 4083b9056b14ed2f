#pragma once
#include "platform/gate/GateFolder.h"
#include "platform/gate/GateWire.h"
#include "platform/gate/MountPlace.h"

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

// The calls a gate makes, the same in this process and in a helper: here on a place found without
// touching a file system that may not answer, in a helper on one found the plain way.
namespace tallymere::gate {

// How far the call goes along its path.
Reach reachOf(Op op);

// Whether the call takes a path of its own and finds its way itself (a move to the Trash, the
// check that an item is unchanged, the launchers): decided by the path's text alone.
bool takesWholePath(Op op);

// The call on a located place (needsHelper false, no error).
Reply perform(const Request& request, const Place& place);

// The call as a helper makes it: its place found by the kernel, links followed, however long that
// takes. A long answer (a folder read) goes out in parts through `send` where there is one.
Reply performPlainly(const Request& request, const SendPart* send = nullptr);

// The calls that find their way themselves, made here, however long they take; each defined beside
// the code it runs and provided by it before it sends one, so that a program that never sends them
// (the command line) carries none of their code or libraries. A helper provides them all at start.
// One not provided fails with ENOSYS.
using WholePathCall = Reply (*)(const Request& request);
void provide(Op op, WholePathCall call);
void provideTrashCalls();
void provideLauncherCalls();

} // namespace tallymere::gate

namespace tallymere::gate {

// Makes one call through the gate: here when its way allows, else by a helper within the bound,
// else (no helper to be had) here all the same.
Reply call(Request request);

} // namespace tallymere::gate

namespace tallymere::gate {

// Many calls at once: those a helper must make run side by side, all within `limit` (as
// askHelpers). In order.
std::vector<Reply> callEach(const std::vector<Request>& requests, std::chrono::milliseconds limit,
                            const std::atomic<bool>* cancel = nullptr);

// Writes `bytes` over the file at `path` (found by a helper, on mount `key`) a stretch at a time,
// each its own call within the bound, the stretch sized so each takes a fraction of it. A write that
// fails removes its part file, or has it removed once the mount answers again.
int writeInStretches(const std::string& path, const std::string& key, const std::string& bytes);

} // namespace tallymere::gate
