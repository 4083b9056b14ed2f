#pragma once
#include <functional>

namespace tallymere::test {

// Runs `body` in a forked process and says whether that process ended within `seconds` (its
// failures fail the test): a process with a thread blocked on a dead mount cannot end, and one
// that did not end in time is killed, or left to end when the mount goes down.
bool endsWithin(int seconds, const std::function<void()>& body);

} // namespace tallymere::test
