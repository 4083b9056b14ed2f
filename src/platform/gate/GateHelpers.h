#pragma once
#include "platform/gate/GateWire.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

// The helper processes that make the calls which may never return. Each is the program's own small
// helper, started with exec: it holds none of this program's memory and no descriptor but its
// channel, so one left blocked on a dead mount holds a few megabytes and nothing else.
//
// Calls are asked under a key, the mount they wait on, and the gate remembers how each mount
// answered. One it has not heard from lately is asked one call at a time; one that answered is
// asked as often as calls come. One whose call ran past its bound does not answer: from then on
// every call under it is told so at once, whether its helper is still blocked or was freed, until
// a check in the background (one helper at a time, after a pause that grows while the mount stays
// silent) sees it answer.
namespace tallymere::gate {

// Helpers kept between calls, ready for the next.
constexpr int mostIdle = 4;
// Helpers at work on calls at once, all callers together; a call past it waits for one.
constexpr int mostWorking = 64;
// Helpers waiting on mounts that do not answer (calls past their bound, checks) and calls out on
// mounts not heard from lately: past it, a call on such a mount is told at once that it does not
// answer, and no check starts.
constexpr int mostLeft = 64;
// The pause before a silent mount is checked again: the first, doubled while it stays silent up
// to the longest.
constexpr std::chrono::milliseconds firstPause{2000};
constexpr std::chrono::milliseconds longestPause{60000};
// How long a mount that answered counts as answering without another answer.
constexpr std::chrono::milliseconds freshFor{5000};

// The replies in the order of the requests, each under the key beside it. All are asked at once,
// under one bound: `limit` from now, and a call whose helper sends a part of its answer has
// `limit` again from then. A reply of PathGate::notAnswering where the call did not answer in time
// (or its mount is known not to answer); PathGate::unknownOutcome where a call that changes
// something lost its helper after it was sent (it is never sent twice); ECANCELED for the calls
// still out once `cancel` is set (those out are left to their helpers). None where no helper can
// be had (a limit on processes, a filter that forbids them, no helper program): the caller then
// makes that call itself, and the program says once, on standard error, that it cannot bound such
// calls here.
std::vector<std::optional<Reply>> askHelpers(const std::vector<Request>& requests, const std::vector<std::string>& keys,
                                             std::chrono::milliseconds limit, const std::atomic<bool>* cancel = nullptr);

// A part file left by a write that failed on mount `key`: removed once the mount answers again.
void removeOnceAnswering(const std::string& key, const std::string& path);

// Keeps `count` more helpers idle between calls (less, for a negative count).
void reserveHelpers(int count);

// Whether the call changes something (writes, renames, removes, makes, moves to the Trash).
bool changes(Op op);

// Set by the helper itself: in it, every call of the gate is made directly.
void makeCallsDirectly();
bool makesCallsDirectly();

} // namespace tallymere::gate
