#pragma once
#include <functional>

namespace tallymere::test {

// Root reads every folder whatever its mode, so a denied folder needs another user: as root the
// body runs in a child process that has dropped to "nobody" (its failures fail the test). False
// when that is impossible here.
bool runUnprivileged(const std::function<void()>& body);

} // namespace tallymere::test
