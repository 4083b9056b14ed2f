#pragma once
#include <functional>

namespace tallymere::test {

// Root reads every folder whatever its mode, so a denied folder needs another user: as root the
// body runs in a child process that has dropped to "nobody" (its failures fail the test). False
// when that is impossible here.
bool runUnprivileged(const std::function<void()>& body);

// Runs `body` in a child process with a mount namespace of its own, where bind mounts stay
// private and are gone with it (its failures fail the test). False when this process may not make
// one (not root, or no namespaces here).
bool runInPrivateMounts(const std::function<void()>& body);

} // namespace tallymere::test
