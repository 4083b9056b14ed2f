#pragma once
#include "platform/gate/GateWire.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// The helper processes that make the calls which may never return. Each is the program's own small
// helper, started with exec: it holds none of this program's memory and no descriptor but its
// channel, so one left blocked on a dead mount holds a few megabytes and nothing else. At most
// mostAnswering of them work at once; further calls wait for one to be free, and a call's bound
// counts from when a helper takes it. A helper that does not answer in time is left (and killed,
// which takes effect once its call returns) and another started when needed; while it stays
// blocked, the key it was asked under (its mount) counts as one that does not answer, and further
// calls under that key get that answer at once rather than blocking another helper.
namespace tallymere::gate {

constexpr int mostAnswering = 4;

// The replies in the order of the requests, each within `limit` of a helper taking it (a reply of
// PathGate::notAnswering when it did not come). None where no helper can be had (a limit on
// processes, a filter that forbids them, no helper program): the caller then makes that call itself,
// and the program says once, on standard error, that it cannot bound such calls here.
std::vector<std::optional<Reply>> askHelpers(const std::vector<Request>& requests, const std::vector<std::string>& keys,
                                             std::chrono::milliseconds limit);

// Whether calls under `key` are being refused because a helper asked under it is still blocked.
bool isBlocked(const std::string& key);

// Set by the helper itself: in it, every call of the gate is made directly.
void makeCallsDirectly();
bool makesCallsDirectly();

// How many helpers live now, working, idle or left blocked; for tests.
int livingHelpers();

} // namespace tallymere::gate
